#include "EngineMemory.h"

#include <atomic>

#include "Raster/Bitmap.h"

namespace EngineMemory {

namespace {
std::atomic<uint64_t> g_compressed{0};
std::atomic<uint64_t> g_backstore{0};
}  // namespace

uint64_t GetCompressedUsage() { return g_compressed.load(std::memory_order_relaxed); }
uint64_t GetBackstoreUsage() { return g_backstore.load(std::memory_order_relaxed); }
void AddCompressed(uint64_t bytes) { g_compressed.fetch_add(bytes, std::memory_order_relaxed); }
void RemoveCompressed(uint64_t bytes) { g_compressed.fetch_sub(bytes, std::memory_order_relaxed); }
void AddBackstore(uint64_t bytes) { g_backstore.fetch_add(bytes, std::memory_order_relaxed); }
void RemoveBackstore(uint64_t bytes) { g_backstore.fetch_sub(bytes, std::memory_order_relaxed); }

}  // namespace EngineMemory

namespace EngineHardware {

namespace {
std::atomic<bool> g_multiGPU{true};
}

void SetMultiGPUEnabled(bool enabled) { g_multiGPU.store(enabled, std::memory_order_relaxed); }
bool GetMultiGPUEnabled() { return g_multiGPU.load(std::memory_order_relaxed); }
bool GetHardwarePossible() { return Raster::Hardware<Raster::DefaultImplementation>::GetDevice() != nullptr; }

}  // namespace EngineHardware
