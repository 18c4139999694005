// Memory the document engine holds outside the raster library's planar tiles: renders kept
// compressed (baselines) and the blocks of document tile stores (backstore). The raster
// library's own account covers planar tiles; together they are what the engine holds.
#pragma once
#include <cstdint>

namespace EngineMemory {

uint64_t GetCompressedUsage();
uint64_t GetBackstoreUsage();

void AddCompressed(uint64_t bytes);
void RemoveCompressed(uint64_t bytes);
void AddBackstore(uint64_t bytes);
void RemoveBackstore(uint64_t bytes);

}  // namespace EngineMemory

// What the engine knows of rendering hardware.
namespace EngineHardware {

void SetMultiGPUEnabled(bool enabled);
bool GetMultiGPUEnabled();
// True when the raster library has a compute device to render with.
bool GetHardwarePossible();

}  // namespace EngineHardware
