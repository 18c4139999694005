// The images of a failed spread: what was expected, what was rendered, and where they differ.
#pragma once
#include <cstdint>

#include "Kernel/String.h"
#include "Raster/Bitmap.h"
#include "bitmapcheck/KernelParams.h"

// Writes base + ".baseline.png" (the baseline, at its size), base + ".failure.png" (the
// current render) and base + ".difference.png" (the heat map of the two when they are
// comparable, else the current render as it is). Each file is written to a temporary name and
// renamed when whole; one that fails leaves no file and traces its own error. The three are
// written at the same time on the worker pool; the current render is left as it is, and the
// memory the images take is not charged to the engine's planar account.
void WriteFailureImages(const Kernel::String& base, const Raster::DynamicBitmap& current,
                        const Raster::DynamicBitmap& baseline, PNGExportParams& exportParams, uint32_t bitsPerChannel,
                        bool comparable);
