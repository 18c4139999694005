// The switch from a format code to the kernels' instance for its layout.
#pragma once
#include "Raster/Bitmap.h"

namespace BitmapKernels {

// Calls f with a null pointer of the typed bitmap of a handled format and answers true;
// answers false, calling nothing, for any other code.
template <class F>
bool DispatchOnFormat(Raster::Format format, F&& f) {
    using namespace Raster;
    switch (format) {
    case kFormatRGBA8: f(static_cast<BitmapForFormat<kFormatRGBA8>*>(nullptr)); return true;
    case kFormatRGBA16: f(static_cast<BitmapForFormat<kFormatRGBA16>*>(nullptr)); return true;
    case kFormatI8A8: f(static_cast<BitmapForFormat<kFormatI8A8>*>(nullptr)); return true;
    case kFormatI16A16: f(static_cast<BitmapForFormat<kFormatI16A16>*>(nullptr)); return true;
    case kFormatCMYKA8: f(static_cast<BitmapForFormat<kFormatCMYKA8>*>(nullptr)); return true;
    case kFormatLabA16: f(static_cast<BitmapForFormat<kFormatLabA16>*>(nullptr)); return true;
    case kFormatRGBAF: f(static_cast<BitmapForFormat<kFormatRGBAF>*>(nullptr)); return true;
    default: return false;
    }
}

}  // namespace BitmapKernels
