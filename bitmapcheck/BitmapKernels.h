// The bitmap kernels: comparison of two bitmaps, the difference heat map, and export of a
// bitmap as 8-bit PNG rows with or without ICC colour conversion. Each entry point picks the
// instance for the pixel format of its first bitmap; formats other than 0 to 5 and 9 are
// left alone.
#pragma once
#include <cstdint>

#include "Raster/Bitmap.h"
#include "Raster/DynamicPixel.h"
#include "Raster/PNG.h"
#include "bitmapcheck/KernelParams.h"

// Raises params->m_maxChannelDifference to the largest difference of any one channel between
// destination and source, and adds the number of differing pixels to m_differingPixels.
// The two bitmaps must share one format; a source of another format is not read.
void CompareBitmapsDispatch(const Raster::DynamicBitmap& destination, const Raster::DynamicBitmap& source,
                            CompareParams* params, const KernelWords& words = {});

// Overwrites every destination pixel of the area with opaque black where it equals the source
// pixel and with a green-to-red colour by its largest channel difference where it does not.
void DifferenceBitmapsDispatch(const Raster::DynamicBitmap& destination, const Raster::DynamicBitmap& source,
                               DifferencesParams* params, const KernelWords& words = {});

// Writes the bitmap's rows to the writer through the colour transform from the record's source
// profile to its destination profile, or unconverted where there is no usable transform.
void WriteBitmapPNGConvertedDispatch(Raster::PNGWriterRGBA8& writer, const Raster::DynamicBitmap& source,
                                     PNGExportParams* params, const KernelWords& words = {});

// Writes the bitmap's rows to the writer without colour management.
void WriteBitmapPNGDispatch(Raster::PNGWriterRGBA8& writer, const Raster::DynamicBitmap& source,
                            KernelParams* params = nullptr, const KernelWords& words = {});

// The heat-map colour of a pixel whose largest channel difference is d (> 0) in an image of
// the given bits per channel: green for small differences, yellow at half the range, red at
// the top. A range of 0 (bits 0 or 32) gives opaque black.
Raster::PixelRGBA8 DifferenceColour(int32_t d, uint32_t bitsPerChannel);
