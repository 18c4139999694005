#include "Raster/PNG.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Kernel/FileSystem.h"
#include "Kernel/Format.h"
#include "Kernel/Trace.h"

namespace Raster {

static_assert(PNGBase::kRowFilter == PNG_FILTER_UP);

struct PNGBase::Impl {
    std::unique_ptr<Kernel::AtomicFile> file;
    png_structp png = nullptr;
    png_infop info = nullptr;
    bool headerWritten = false;
    int colourType = -1;
    int channels = 0;
    int bitDepth = 0;
    char libraryError[256] = {0};
};

namespace {

// libpng reports errors by long jump; each call into it sits alone in a function that sets
// the jump target and holds nothing that needs destroying.
void OnPNGError(png_structp png, png_const_charp message) {
    auto* impl = static_cast<PNGBase::Impl*>(png_get_error_ptr(png));
    std::snprintf(impl->libraryError, sizeof impl->libraryError, "%s", message ? message : "libpng error");
    png_longjmp(png, 1);
}

void OnPNGWarning(png_structp, png_const_charp) {}

bool WriteHeader(png_structp png, png_infop info, int width, int height, int colourType, int bitDepth) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), bitDepth, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, PNGBase::kCompressionLevel);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNGBase::kRowFilter);
    png_write_info(png, info);
    return true;
}

bool WriteOneRow(png_structp png, const uint8_t* row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_write_row(png, row);
    return true;
}

bool WriteEnd(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_write_end(png, info);
    return true;
}

}  // namespace

PNGBase::PNGBase(const char* path, int width, int height, const ExportOptions& options)
    : m_path(path ? path : ""), m_width(width), m_height(height), m_options(options), m_impl(new Impl) {
    if (m_path.empty()) {
        Fail("no file name");
        return;
    }
    if (width <= 0 || height <= 0) {
        Fail("the image has no pixels");
        return;
    }
    m_impl->file.reset(new Kernel::AtomicFile(Kernel::Path(m_path)));
    if (!m_impl->file->IsOpen()) {
        Fail(m_impl->file->GetError());
        return;
    }
    m_impl->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, m_impl.get(), OnPNGError, OnPNGWarning);
    if (m_impl->png) m_impl->info = png_create_info_struct(m_impl->png);
    if (!m_impl->png || !m_impl->info) {
        Fail("out of memory");
        return;
    }
    png_init_io(m_impl->png, m_impl->file->GetStream());
}

PNGBase::~PNGBase() {
    Impl& impl = *m_impl;
    bool complete = IsGood() && m_rows == m_height;
    if (complete && !WriteEnd(impl.png, impl.info)) Fail(impl.libraryError);
    if (impl.png) png_destroy_write_struct(&impl.png, impl.info ? &impl.info : nullptr);
    if (IsGood() && m_rows != m_height)
        Fail(std::to_string(m_rows) + " of " + std::to_string(m_height) + " rows were written");
    if (impl.file && IsGood() && !impl.file->Commit()) Fail(impl.file->GetError());
    impl.file.reset();  // an image not committed is removed
    if (!IsGood()) {
        Kernel::Trace(Kernel::Format("Could not write PNG file %1: %2\r\n", {Kernel::String(m_path), Kernel::String(m_error)})
                          .c_str());
    }
}

void PNGBase::Fail(const std::string& why) {
    if (m_error.empty()) m_error = why.empty() ? std::string("write failed") : why;
}

void PNGBase::EmitRow(const uint8_t* row, int colourType, int channels, int bitDepth) {
    Impl& impl = *m_impl;
    if (!IsGood()) return;
    if (m_rows >= m_height) return Fail("more rows than the image is high");
    if (!impl.headerWritten) {
        if (!WriteHeader(impl.png, impl.info, m_width, m_height, colourType, bitDepth)) return Fail(impl.libraryError);
        impl.headerWritten = true;
        impl.colourType = colourType;
        impl.channels = channels;
        impl.bitDepth = bitDepth;
    } else if (colourType != impl.colourType || channels != impl.channels || bitDepth != impl.bitDepth) {
        return Fail("rows of different kinds in one image");
    }
    if (!WriteOneRow(impl.png, row)) return Fail(impl.libraryError);
    ++m_rows;
}

PNGBase::BasePixelAccessor::BasePixelAccessor(PNGBase& writer, int colourType, int channels, int bitDepth, bool)
    : m_row(nullptr), m_writer(writer), m_colourType(colourType), m_channels(channels), m_bitDepth(bitDepth) {
    size_t bytes = size_t(writer.GetWidth() > 0 ? writer.GetWidth() : 0) * size_t(channels) * size_t(bitDepth / 8);
    m_storage.reset(new uint8_t[bytes ? bytes : 1]());
    m_row = m_storage.get();
}

PNGBase::BasePixelAccessor::~BasePixelAccessor() {
    if (m_writer.GetRowsWritten() < m_writer.GetHeight()) m_writer.EmitRow(m_row, m_colourType, m_channels, m_bitDepth);
}

void PNGBase::BasePixelAccessor::WriteRow() { m_writer.EmitRow(m_row, m_colourType, m_channels, m_bitDepth); }

}  // namespace Raster
