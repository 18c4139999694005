// The raster library's PNG writer: 8-bit rows handed over one at a time.
//
// The file appears under its name only when every row of the image has been written: rows go
// to a temporary file beside it, which is renamed into place when the writer is destroyed, or
// removed (with a trace line saying why) when the image is incomplete or a write failed.
#pragma once
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "Raster/Channels.h"

namespace Raster {

class ExportOptions {
public:
    bool GetAlpha() const { return m_alpha; }
    void SetAlpha(bool alpha) { m_alpha = alpha; }

private:
    bool m_alpha = true;
};

// PNG colour types.
enum : int { kPNGColourTypeGray = 0, kPNGColourTypeRGB = 2, kPNGColourTypeGrayAlpha = 4, kPNGColourTypeRGBA = 6 };

template <class C0, class C1, class C2, class C3, class C4>
constexpr int FormatToPNGColourType() {
    constexpr int n = Layout<C0, C1, C2, C3, C4>::kChannelCount;
    return n >= 4 ? kPNGColourTypeRGBA : n == 3 ? kPNGColourTypeRGB : n == 2 ? kPNGColourTypeGrayAlpha
                                                                           : kPNGColourTypeGray;
}

template <class C0, class C1, class C2, class C3, class C4>
constexpr int FormatToNonAlphaPNGColourType() {
    constexpr int n = Layout<C0, C1, C2, C3, C4>::kChannelCount;
    return n >= 3 ? kPNGColourTypeRGB : kPNGColourTypeGray;
}

class PNGBase {
public:
    // How every file is compressed. The images are diagnostics a person opens: fast deflate
    // with the Up filter on every row writes a rendered page several times faster than
    // libpng's defaults, for a file about a third larger.
    static constexpr int kCompressionLevel = 1;
    static constexpr int kRowFilter = 0x20;  // libpng's PNG_FILTER_UP

    PNGBase(const char* path, int width, int height, const ExportOptions& options);
    virtual ~PNGBase();
    PNGBase(const PNGBase&) = delete;
    PNGBase& operator=(const PNGBase&) = delete;

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    const ExportOptions& GetExportOptions() const { return m_options; }
    const std::string& GetPath() const { return m_path; }
    int GetRowsWritten() const { return m_rows; }
    // False once anything went wrong; the file will then not be made.
    bool IsGood() const { return !m_failed; }
    const std::string& GetError() const { return m_error; }

    // A row buffer bound to a writer. WriteRow hands the buffer over as the next row; the
    // accessor's end hands over the pending (last) row while the image still lacks rows.
    // Memory running out while a row is handed over fails the image, and WriteRow then throws
    // Kernel::OutOfMemory saying what was being allocated; the accessor's end throws nothing.
    class BasePixelAccessor {
    public:
        BasePixelAccessor(PNGBase& writer, int colourType, int channels, int bitDepth, bool);
        ~BasePixelAccessor();
        BasePixelAccessor(const BasePixelAccessor&) = delete;
        BasePixelAccessor& operator=(const BasePixelAccessor&) = delete;

        void WriteRow();

        uint8_t* m_row;  // the row being filled: width times channels bytes

    private:
        PNGBase& m_writer;
        std::unique_ptr<uint8_t[]> m_storage;
        int m_colourType;
        int m_channels;
        int m_bitDepth;
    };

    struct Impl;  // the libpng state

private:
    void EmitRow(const uint8_t* row, int colourType, int channels, int bitDepth);
    void StartBands();
    // Writes the bands deflated so far, in order, waiting for those before upTo.
    void WriteBands(size_t upTo);
    // Fails the image (the first reason is kept); throws nothing.
    void Fail(std::string_view why);
    void FailOutOfMemory(const std::bad_alloc& error);

    std::string m_path;
    int m_width;
    int m_height;
    ExportOptions m_options;
    int m_rows = 0;
    bool m_failed = false;
    std::string m_error;  // why, when there was memory enough to say
    std::unique_ptr<Impl> m_impl;
};

template <class C0, class C1, class C2, class C3, class C4>
class PNG : public PNGBase {
public:
    using PNGBase::PNGBase;
};

using PNGWriterRGBA8 = PNG<Red8, Green8, Blue8, Alpha8, X5>;

}  // namespace Raster
