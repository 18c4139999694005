// The personas' four-character codes, first character in the most significant byte.
#pragma once
#include <cstdint>

#include "DocSession/KestraneApplication.h"

namespace PersonaCode {
inline constexpr uint32_t Layout = FourCharCode("layo");
inline constexpr uint32_t Vector = FourCharCode("vect");
inline constexpr uint32_t Raster = FourCharCode("rast");
inline constexpr uint32_t Develop = FourCharCode("deve");
inline constexpr uint32_t Liquify = FourCharCode("liqu");
inline constexpr uint32_t Export = FourCharCode("expo");
inline constexpr uint32_t Pixel = FourCharCode("pixe");
inline constexpr uint32_t ToneMapping = FourCharCode("hdr ");
// The technical persona's code is the engine's and is read when used.
inline uint32_t Technical() { return Kestrane::TechnicalPersona::Id; }
}  // namespace PersonaCode
