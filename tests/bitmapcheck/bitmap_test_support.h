// Helpers shared by the bitmap kernel tests: bitmaps by format, temporary folders, PNG reading.
#pragma once
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "Kernel/Trace.h"
#include "Raster/Raster.h"
#include "bitmapcheck/BitmapKernels.h"
#include "bitmapcheck/FormatDispatch.h"

namespace bitmaptest {

using RGBA8 = Raster::BitmapForFormat<Raster::kFormatRGBA8>;
using RGBA16 = Raster::BitmapForFormat<Raster::kFormatRGBA16>;
using I8A8 = Raster::BitmapForFormat<Raster::kFormatI8A8>;
using I16A16 = Raster::BitmapForFormat<Raster::kFormatI16A16>;
using CMYKA8 = Raster::BitmapForFormat<Raster::kFormatCMYKA8>;
using LabA16 = Raster::BitmapForFormat<Raster::kFormatLabA16>;
using RGBAF = Raster::BitmapForFormat<Raster::kFormatRGBAF>;

// Samples of any format as doubles, one per real channel.
using Samples = std::vector<double>;

// Calls f with the typed bitmap of a handle of one of the kernels' formats.
template <class F>
void WithTyped(const Raster::DynamicBitmap& b, F&& f) {
    const bool handled = BitmapKernels::DispatchOnFormat(b.GetFormat(), [&](auto* tag) {
        f(b.As<std::remove_pointer_t<decltype(tag)>>());
    });
    if (!handled) ADD_FAILURE() << "no layout for format " << b.GetFormat();
}

inline void SetPixel(const Raster::DynamicBitmap& b, int x, int y, const Samples& s) {
    WithTyped(b, [&](auto* bitmap) {
        using S = typename std::remove_pointer_t<decltype(bitmap)>::Sample;
        for (size_t c = 0; c < s.size(); ++c) bitmap->SetSample(int(c), x, y, static_cast<S>(s[c]));
    });
}

inline Samples GetPixel(const Raster::DynamicBitmap& b, int x, int y) {
    Samples out;
    WithTyped(b, [&](auto* bitmap) {
        for (int c = 0; c < bitmap->kChannelCount; ++c) out.push_back(double(bitmap->GetSample(c, x, y)));
    });
    return out;
}

// A bitmap whose every pixel holds the same samples.
inline Raster::DynamicBitmap Filled(Raster::Format f, int w, int h, const Samples& s) {
    Raster::DynamicBitmap b = Raster::DynamicBitmap::Create(f, w, h);
    WithTyped(b, [&](auto* bitmap) {
        using B = std::remove_pointer_t<decltype(bitmap)>;
        typename B::PixelType p;
        for (size_t c = 0; c < s.size(); ++c) p.c[c] = static_cast<typename B::Sample>(s[c]);
        bitmap->Fill(p);
    });
    return b;
}

// A folder under the temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string base = (std::filesystem::temp_directory_path() / "qv-bitmapcheck-XXXXXX").string();
        std::vector<char> name(base.begin(), base.end());
        name.push_back('\0');
        if (!mkdtemp(name.data())) throw std::runtime_error("mkdtemp failed");
        m_path = name.data();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

struct PNGImage {
    bool ok = false;
    int width = 0;
    int height = 0;
    bool alpha = false;
    int channels = 0;
    std::vector<uint8_t> bytes;  // row after row, channels bytes a pixel
    const uint8_t* At(int x, int y) const { return &bytes[(size_t(y) * width + x) * channels]; }
};

// Reads a PNG as it is stored: 8-bit RGB or RGBA.
inline PNGImage ReadPNG(const std::string& path) {
    PNGImage out;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
    out.alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = out.alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    out.channels = out.alpha ? 4 : 3;
    out.width = int(image.width);
    out.height = int(image.height);
    out.bytes.resize(PNG_IMAGE_SIZE(image));
    out.ok = png_image_finish_read(&image, nullptr, out.bytes.data(), 0, nullptr) != 0;
    return out;
}

// Collects progress reports from any thread.
struct ProgressLog {
    std::mutex mutex;
    std::vector<float> fractions;
    static void Callback(void* context, float fraction) {
        auto* log = static_cast<ProgressLog*>(context);
        std::lock_guard<std::mutex> lock(log->mutex);
        log->fractions.push_back(fraction);
    }
};

// Raises a cancel flag the way another thread would.
inline void Raise(bool* flag) { std::atomic_ref<bool>(*flag).store(true, std::memory_order_relaxed); }

// Trace lines written while it lives.
class TraceCapture {
public:
    TraceCapture() {
        m_previous = Kernel::SetTraceSink([this](const std::string& s) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back(s);
        });
    }
    ~TraceCapture() { Kernel::SetTraceSink(m_previous); }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
    std::function<void(const std::string&)> m_previous;
};

}  // namespace bitmaptest
