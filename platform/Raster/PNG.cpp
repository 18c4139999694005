#include "Raster/PNG.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Kernel/Dispatch.h"
#include "Kernel/FileSystem.h"
#include "Kernel/Format.h"
#include "Kernel/OutOfMemory.h"
#include "Kernel/Trace.h"

namespace Raster {

static_assert(PNGBase::kRowFilter == PNG_FILTER_UP);

// The image data is one zlib stream, made a band of filtered rows at a time: a batch of bands
// is deflated at once on the worker pool, each band primed with the 32 KiB before it as its
// dictionary and ended on a byte boundary, so that the bands joined are one stream that loses
// next to nothing at the joins. libpng writes every chunk.
struct Band {
    std::vector<uint8_t> in;  // filtered rows
    size_t inBytes = 0;
    std::vector<uint8_t> out;  // raw deflate, ended by a sync flush or, for the last band, the final block
    size_t outBytes = 0;
    uint32_t adler = 0;
    bool last = false;
    int error = 0;
};

enum : int { kDone = 0, kFailed = 1 };

struct PNGBase::Impl {
    std::unique_ptr<Kernel::AtomicFile> file;
    png_structp png = nullptr;
    png_infop info = nullptr;
    bool headerWritten = false;
    int colourType = -1;
    int channels = 0;
    int bitDepth = 0;
    char libraryError[256] = {0};

    size_t rowBytes = 0;  // a filtered row: the filter byte and the samples
    int bandRows = 0;
    int rowsInBand = 0;
    std::vector<uint8_t> previous;  // the row above, unfiltered
    std::vector<Band> bands;        // one batch
    size_t filled = 0;              // bands of the batch that are complete
    std::vector<uint8_t> history;   // the last 32 KiB before the batch
    bool streamStarted = false;
    uLong adler = 1;
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
    png_write_info(png, info);
    return true;
}

bool WriteChunk(png_structp png, const char* name, const uint8_t* data, size_t length) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_write_chunk(png, reinterpret_cast<png_const_bytep>(name), data, length);
    return true;
}

constexpr int kFilterUp = 2;                 // the filter byte of an Up row
constexpr size_t kWindow = 32768;            // deflate's history
constexpr size_t kBandBytes = 256 * 1024;    // filtered bytes a band holds, at least
constexpr size_t kSingleBandBytes = 1 << 20;  // images up to this size are one band, on the caller
constexpr unsigned kMaxBatch = 16;

// A deflate state per thread, reset for each band rather than made anew. ISA-L's fast level
// deflates these rows several times faster than zlib's and into fewer bytes.
struct Deflater {
    isal_zstream z{};
    std::unique_ptr<uint8_t[]> levelBuffer;
    void Reset() {
        if (!levelBuffer)
            levelBuffer.reset(Kernel::Allocating("the PNG deflater's level buffer", ISAL_DEF_LVL1_DEFAULT,
                                                 [] { return new uint8_t[ISAL_DEF_LVL1_DEFAULT]; }));
        isal_deflate_init(&z);
        z.level = PNGBase::kCompressionLevel;
        z.level_buf = levelBuffer.get();
        z.level_buf_size = ISAL_DEF_LVL1_DEFAULT;
    }
};

struct BatchJob {
    std::vector<Band>* bands;
    const std::vector<uint8_t>* history;  // the dictionary of the batch's first band; empty at the image's start
};

void DeflateBand(void* context, size_t index) {
    BatchJob& job = *static_cast<BatchJob*>(context);
    Band& band = (*job.bands)[index];
    band.adler = isal_adler32(1, band.in.data(), band.inBytes);
    thread_local Deflater deflater;
    deflater.Reset();
    isal_zstream& z = deflater.z;
    const uint8_t* dictionary = nullptr;
    size_t dictionaryBytes = 0;
    if (index > 0) {
        const Band& before = (*job.bands)[index - 1];
        dictionaryBytes = std::min(kWindow, before.inBytes);
        dictionary = before.in.data() + before.inBytes - dictionaryBytes;
    } else if (!job.history->empty()) {
        dictionary = job.history->data();
        dictionaryBytes = job.history->size();
    }
    if (dictionary && isal_deflate_set_dict(&z, const_cast<uint8_t*>(dictionary), uint32_t(dictionaryBytes)) != COMP_OK) {
        band.error = kFailed;
        return;
    }
    // Room for stored blocks' headers, should the data not compress, and the flush's marker.
    const size_t bound = band.inBytes + band.inBytes / 64 + 1024;
    auto grow = [&band](size_t bytes) {
        Kernel::Allocating("a band of compressed PNG image data", bytes, [&] { band.out.resize(bytes); });
    };
    if (band.out.size() < bound) grow(bound);
    z.next_in = band.in.data();
    z.avail_in = uint32_t(band.inBytes);
    z.end_of_stream = band.last ? 1 : 0;
    z.flush = band.last ? NO_FLUSH : SYNC_FLUSH;
    size_t used = 0;
    for (;;) {
        z.next_out = band.out.data() + used;
        z.avail_out = uint32_t(band.out.size() - used);
        if (isal_deflate(&z) != COMP_OK) {
            band.error = kFailed;
            return;
        }
        used = band.out.size() - z.avail_out;
        if (z.avail_out > 0) break;
        grow(band.out.size() * 2);
    }
    const bool done = z.avail_in == 0 && (!band.last || z.internal_state.state == ZSTATE_END);
    band.outBytes = used;
    band.error = done ? kDone : kFailed;
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
    if (complete && !WriteChunk(impl.png, "IEND", nullptr, 0)) Fail(impl.libraryError);
    if (impl.png) png_destroy_write_struct(&impl.png, impl.info ? &impl.info : nullptr);
    if (IsGood() && m_rows != m_height) {
        m_failed = true;
        try {
            m_error = std::to_string(m_rows) + " of " + std::to_string(m_height) + " rows were written";
        } catch (const std::bad_alloc&) {
        }
    }
    if (impl.file && IsGood() && !impl.file->Commit()) Fail(impl.file->GetError());
    impl.file.reset();  // an image not committed is removed
    if (!IsGood()) {
        try {
            Kernel::Trace(Kernel::Format("Could not write PNG file %1: %2\r\n",
                                         {Kernel::String(Kernel::EscapeForMessage(m_path)),
                                          Kernel::String(Kernel::EscapeForMessage(m_error))})
                              .c_str());
        } catch (const std::bad_alloc&) {
            // No memory even to say why: the image is not made all the same.
        }
    }
}

void PNGBase::Fail(std::string_view why) {
    const bool first = !m_failed;
    m_failed = true;
    if (!first) return;
    try {
        m_error = why.empty() ? std::string_view("write failed") : why;
    } catch (const std::bad_alloc&) {
        m_error.clear();
    }
}

void PNGBase::FailOutOfMemory(const std::bad_alloc& error) {
    const bool first = !m_failed;
    m_failed = true;
    if (!first) return;
    try {
        m_error = std::string("out of memory: ") + Kernel::DescribeAllocation(error);
    } catch (const std::bad_alloc&) {
        m_error.clear();
    }
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
        try {
            StartBands();
        } catch (const std::bad_alloc& error) {
            FailOutOfMemory(error);
            throw;
        }
    } else if (colourType != impl.colourType || channels != impl.channels || bitDepth != impl.bitDepth) {
        return Fail("rows of different kinds in one image");
    }
    Band& band = impl.bands[impl.filled];
    uint8_t* out = band.in.data() + band.inBytes;
    const size_t samples = impl.rowBytes - 1;
    const uint8_t* above = impl.previous.data();
    out[0] = kFilterUp;
    for (size_t i = 0; i < samples; ++i) out[i + 1] = uint8_t(row[i] - above[i]);
    std::memcpy(impl.previous.data(), row, samples);
    band.inBytes += impl.rowBytes;
    ++m_rows;
    if (++impl.rowsInBand == impl.bandRows || m_rows == m_height) {
        band.last = m_rows == m_height;
        impl.rowsInBand = 0;
        if (++impl.filled == impl.bands.size() || band.last) {
            try {
                DeflateBatch();
            } catch (const std::bad_alloc& error) {
                FailOutOfMemory(error);  // the stream has a hole: the image must not be made
                throw;
            }
        }
    }
}

void PNGBase::StartBands() {
    Impl& impl = *m_impl;
    impl.rowBytes = 1 + size_t(m_width) * size_t(impl.channels) * size_t(impl.bitDepth / 8);
    const size_t total = impl.rowBytes * size_t(m_height);
    if (total <= kSingleBandBytes) {
        impl.bandRows = m_height;
    } else {
        impl.bandRows = int(std::min<size_t>(size_t(m_height), (kBandBytes + impl.rowBytes - 1) / impl.rowBytes));
    }
    const size_t bandCount = (size_t(m_height) + size_t(impl.bandRows) - 1) / size_t(impl.bandRows);
    const size_t batch = std::min<size_t>(bandCount, std::clamp(Kernel::Dispatch::GetParallelism(), 1u, kMaxBatch));
    const size_t bandBytes = impl.rowBytes * size_t(impl.bandRows);
    Kernel::Allocating("the rows of a batch of PNG bands", uint64_t(batch) * bandBytes, [&] {
        impl.bands.resize(batch);
        for (Band& band : impl.bands) band.in.resize(bandBytes);
        impl.previous.assign(impl.rowBytes - 1, 0);
    });
}

void PNGBase::DeflateBatch() {
    Impl& impl = *m_impl;
    BatchJob job{&impl.bands, &impl.history};
    Kernel::Dispatch::DispatchParallelFor(&DeflateBand, impl.filled, &job, 0, 0, 0);
    for (size_t i = 0; i < impl.filled && IsGood(); ++i) {
        Band& band = impl.bands[i];
        if (band.error != kDone) return Fail("the image data could not be compressed");
        if (!impl.streamStarted) {
            // The zlib header of a 32 KiB window and the fastest level, no dictionary.
            static const uint8_t header[2] = {0x78, 0x01};
            if (!WriteChunk(impl.png, "IDAT", header, sizeof header)) return Fail(impl.libraryError);
            impl.streamStarted = true;
        }
        impl.adler = adler32_combine(impl.adler, band.adler, z_off_t(band.inBytes));
        if (band.last) {
            Kernel::Allocating("the end of the compressed PNG image data", band.outBytes + 4,
                               [&] { band.out.resize(std::max(band.out.size(), band.outBytes + 4)); });
            for (int b = 0; b < 4; ++b) band.out[band.outBytes++] = uint8_t(impl.adler >> (24 - 8 * b));
        }
        if (band.outBytes && !WriteChunk(impl.png, "IDAT", band.out.data(), band.outBytes)) return Fail(impl.libraryError);
    }
    const Band& final = impl.bands[impl.filled - 1];
    const size_t keep = std::min(kWindow, final.inBytes);
    Kernel::Allocating("the PNG deflate history", keep, [&] {
        impl.history.assign(final.in.data() + final.inBytes - keep, final.in.data() + final.inBytes);
    });
    for (size_t i = 0; i < impl.filled; ++i) {
        impl.bands[i].inBytes = 0;
        impl.bands[i].outBytes = 0;
    }
    impl.filled = 0;
}

PNGBase::BasePixelAccessor::BasePixelAccessor(PNGBase& writer, int colourType, int channels, int bitDepth, bool)
    : m_row(nullptr), m_writer(writer), m_colourType(colourType), m_channels(channels), m_bitDepth(bitDepth) {
    size_t bytes = size_t(writer.GetWidth() > 0 ? writer.GetWidth() : 0) * size_t(channels) * size_t(bitDepth / 8);
    const size_t size = bytes ? bytes : 1;
    m_storage.reset(Kernel::Allocating("a PNG row", size, [size] { return new uint8_t[size](); }));
    m_row = m_storage.get();
}

PNGBase::BasePixelAccessor::~BasePixelAccessor() {
    if (m_writer.GetRowsWritten() >= m_writer.GetHeight()) return;
    try {
        m_writer.EmitRow(m_row, m_colourType, m_channels, m_bitDepth);
    } catch (const std::bad_alloc&) {
        // The writer has failed the image; a destructor throws nothing.
    }
}

void PNGBase::BasePixelAccessor::WriteRow() { m_writer.EmitRow(m_row, m_colourType, m_channels, m_bitDepth); }

}  // namespace Raster
