#include "Raster/PNG.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "Kernel/Dispatch.h"
#include "Kernel/FileSystem.h"
#include "Kernel/Format.h"
#include "Kernel/OutOfMemory.h"
#include "Kernel/PerThread.h"
#include "Kernel/Trace.h"

namespace Raster {

static_assert(PNGBase::kRowFilter == PNG_FILTER_UP);

// The image data is one zlib stream, made a band of filtered rows at a time. Each band is
// deflated alone (no history from the band before, ended on a byte boundary) and written as an
// IDAT chunk of its own, so bands deflate on the worker pool while the caller fills the next,
// the bands' rows do not depend on how many threads made them (ISA-L may still pick other
// codes for the same rows from one call to the next), and bands alike deflate once: a band
// is shared by every writer whose band holds the same rows at about the same time (a failure
// image and its baseline differ in a few bands, a heat map's black bands are all alike). The
// bands are memory the writers keep, and the deflate states the threads': an image written
// after another, or beside it, reuses pages already mapped rather than having the kernel clear
// fresh ones.
struct Band {
    std::atomic<int> users{0};
    uint8_t* in = nullptr;  // filtered rows; not written again once the band is shared
    size_t inCapacity = 0;
    size_t inBytes = 0;
    // The band's IDAT chunk: length and type, raw deflate ended by a full flush or, for the
    // last band, the final block, and the CRC.
    uint8_t* chunk = nullptr;
    size_t chunkCapacity = 0;
    size_t chunkBytes = 0;
    uint32_t check = 0;  // the rows' CRC, to find bands alike
    uint32_t adler = 0;
    bool last = false;
    bool failed = false;
    std::exception_ptr error;       // what deflating it threw
    std::atomic<bool> done{false};  // deflated, or failed to; set by whichever thread did it
};

namespace {

constexpr int kFilterUp = 2;                      // the filter byte of an Up row
constexpr size_t kBandBytes = 16 * 1024;          // filtered bytes a band holds, at most, but a whole row
// Bands a writer has in the pool's hands at once: enough for a large image to keep every worker
// busy while its rows are filled, few enough that a small one costs little beside its pixels.
constexpr size_t kSlots = 8;
constexpr size_t kMaxSlots = 64;
constexpr size_t kBytesPerSlot = 512 * 1024;  // of the image's rows for each slot, from kSlots up
constexpr size_t kSerialBytes = size_t(1) << 20;  // images up to this size deflate on the caller
constexpr size_t kStreamBuffer = 64 * 1024;       // the file's buffer: a write for many small chunks
// Bands kept for others to find alike: writers of images that differ in a few rows drift apart
// by several bands, and a writer that finds none deflates its own, so falls further behind.
constexpr size_t kShared = 16;

// Room for a band's chunk: its length, type and CRC, and for the deflate stored blocks'
// headers, should the data not compress, and the final block's.
size_t ChunkBound(size_t bytes) { return 8 + bytes + bytes / 64 + 1024 + 4; }

// Bands kept for the next image, and the bands lately filled, for writers to share.
class BandStore {
public:
    static BandStore& Instance() {
        static auto* store = new BandStore;  // writers may end during static destruction
        return *store;
    }

    // A band with room for bytes of rows and a chunk of room bytes, used by the caller alone.
    Band* Take(size_t bytes, size_t room) {
        Band* band = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            // The smallest kept one that fits, if not more than twice too large.
            auto best = m_free.end();
            for (auto it = m_free.begin(); it != m_free.end(); ++it)
                if (Fits((*it)->inCapacity, bytes) && Fits((*it)->chunkCapacity, room) &&
                    (best == m_free.end() || (*it)->inCapacity < (*best)->inCapacity))
                    best = it;
            if (best != m_free.end()) {
                band = *best;
                m_free.erase(best);
                m_keptBytes -= band->inCapacity + band->chunkCapacity;
            }
        }
        if (!band) band = Make(bytes, room);
        band->users.store(1, std::memory_order_relaxed);
        band->inBytes = band->chunkBytes = 0;
        band->check = band->adler = 0;
        band->last = band->failed = false;
        band->error = nullptr;
        band->done.store(false, std::memory_order_relaxed);
        return band;
    }

    void Drop(Band* band) noexcept {
        if (!band || band->users.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const size_t bytes = band->inCapacity + band->chunkCapacity;
            if (m_keptBytes + bytes <= kKeptBytes && m_free.size() < m_free.capacity()) {
                m_free.push_back(band);  // within what Make reserved
                m_keptBytes += bytes;
                return;
            }
        }
        Destroy(band);
    }

    // A band alike, shared with the caller, whose own band is then not needed; or null, the
    // band then kept for others to find. Rows are compared outside the lock, which every
    // writer's every band takes. A band with no candidate is kept in the same hold of the lock
    // that looked: two writers of alike rows at the same band (a failure image and its
    // baseline keep pace) would otherwise both look, both miss and both deflate it.
    Band* FindAlike(Band* band) {
        Band* candidate = nullptr;
        Band* evicted = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_sharedMutex);
            for (Band* kept : m_shared)
                if (kept && kept->check == band->check && kept->inBytes == band->inBytes && kept->last == band->last) {
                    candidate = kept;
                    candidate->users.fetch_add(1, std::memory_order_relaxed);
                    break;
                }
            if (!candidate) evicted = Keep(band);
        }
        if (!candidate) {
            Drop(evicted);
            return nullptr;
        }
        if (std::memcmp(candidate->in, band->in, band->inBytes) == 0) return candidate;
        Drop(candidate);  // rows of another band with the same check
        {
            std::lock_guard<std::mutex> lock(m_sharedMutex);
            evicted = Keep(band);
        }
        Drop(evicted);
        return nullptr;
    }

    // Marks a band deflated (or failed) for whoever waits for it.
    void Done(Band& band) {
        band.done.store(true);
        if (m_waiters.load() == 0) return;
        { std::lock_guard<std::mutex> lock(m_doneMutex); }
        m_deflated.notify_all();
    }

    // Waits until the band is deflated, by whoever deflates it: looking for a while first, as
    // a band takes a few tens of microseconds, about what waking a sleeping thread does.
    void WaitFor(Band& band) {
        if (Kernel::SpinUntil(std::chrono::microseconds(100), [&] { return band.done.load(std::memory_order_acquire); }))
            return;
        m_waiters.fetch_add(1);
        {
            std::unique_lock<std::mutex> lock(m_doneMutex);
            while (!band.done.load()) m_deflated.wait_for(lock, std::chrono::milliseconds(1));
        }
        m_waiters.fetch_sub(1);
    }

private:
    BandStore() = default;
    // Enough for the bands of a few images written at once.
    static constexpr size_t kKeptBytes = size_t(4) << 20;

    static bool Fits(size_t capacity, size_t bytes) { return capacity >= bytes && capacity / 2 <= bytes; }

    // Puts a use of the band in the next shared place, under m_sharedMutex; returns the band it
    // pushed out, whose use the caller drops outside the lock.
    Band* Keep(Band* band) {
        band->users.fetch_add(1, std::memory_order_relaxed);
        Band* evicted = m_shared[m_next];
        m_shared[m_next] = band;
        m_next = (m_next + 1) % kShared;
        return evicted;
    }

    Band* Make(size_t bytes, size_t room) {
        {
            // Room to keep it without allocating, once it is given back.
            std::lock_guard<std::mutex> lock(m_mutex);
            Kernel::Allocating("the list of kept PNG bands", (m_bandsMade + 1) * sizeof(Band*),
                               [&] { m_free.reserve(m_bandsMade + 1); });
            ++m_bandsMade;
        }
        std::unique_ptr<Band> band;
        try {
            band.reset(Kernel::Allocating("a PNG band", sizeof(Band), [] { return new Band; }));
            band->in = Kernel::Allocating("the rows of a PNG band", bytes, [bytes] { return new uint8_t[bytes]; });
            band->inCapacity = bytes;
            band->chunk = Kernel::Allocating("a band of compressed PNG image data", room,
                                             [room] { return new uint8_t[room]; });
            band->chunkCapacity = room;
        } catch (...) {
            if (band) Destroy(band.release());
            else {
                std::lock_guard<std::mutex> lock(m_mutex);
                --m_bandsMade;
            }
            throw;
        }
        return band.release();
    }

    void Destroy(Band* band) noexcept {
        delete[] band->in;
        delete[] band->chunk;
        delete band;
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_bandsMade;
    }

    std::mutex m_mutex;
    std::vector<Band*> m_free;
    size_t m_bandsMade = 0;
    size_t m_keptBytes = 0;
    std::mutex m_sharedMutex;
    Band* m_shared[kShared] = {};  // each holds a use of its band
    size_t m_next = 0;
    std::mutex m_doneMutex;
    std::condition_variable m_deflated;
    std::atomic<int> m_waiters{0};
};

void PutBigEndian(uint8_t* at, uint32_t value) {
    for (int b = 0; b < 4; ++b) at[b] = uint8_t(value >> (24 - 8 * b));
}

// A whole IDAT chunk of data at chunk + 8, its length and CRC put around it.
size_t CloseChunk(uint8_t* chunk, size_t length) {
    PutBigEndian(chunk, uint32_t(length));
    std::memcpy(chunk + 4, "IDAT", 4);
    PutBigEndian(chunk + 8 + length, crc32_gzip_refl(0, chunk + 4, uint32_t(4 + length)));
    return 8 + length + 4;
}

// This thread's deflate state, made when it first deflates. ISA-L's stateless level 1 needs no
// level buffer: the stream's own state holds its hash and tokens, and only the part a band uses
// is ever touched.
isal_zstream* ThreadDeflater() {
    static const Kernel::PerThread<isal_zstream> deflaters("a PNG deflate state");
    return &deflaters.Get();
}

// Deflates one band alone into its chunk and marks it done, whatever happens.
void DeflateBand(Band& band) {
    BandStore& store = BandStore::Instance();
    try {
        band.adler = isal_adler32(1, band.in, band.inBytes);
        isal_zstream* z = ThreadDeflater();
        isal_deflate_stateless_init(z);
        // The init leaves the window's size as the state's memory held it, which a thread's
        // first state takes from whatever the heap held: 0 is deflate's whole 32 KiB.
        z->hist_bits = 0;
        z->level = PNGBase::kCompressionLevel;
        z->level_buf = nullptr;
        z->level_buf_size = 0;
        z->next_in = band.in;
        z->avail_in = uint32_t(band.inBytes);
        z->end_of_stream = band.last ? 1 : 0;
        z->flush = band.last ? NO_FLUSH : FULL_FLUSH;
        // The room is the rows' own bound, not the buffer's: ISA-L's output depends on it.
        const size_t room = ChunkBound(band.inBytes) - 12;
        z->next_out = band.chunk + 8;
        z->avail_out = uint32_t(room);
        const int result = isal_deflate_stateless(z);
        const size_t length = room - z->avail_out;
        band.failed = result != COMP_OK || z->avail_in != 0;
        if (!band.failed) band.chunkBytes = CloseChunk(band.chunk, length);
    } catch (...) {
        band.error = std::current_exception();
    }
    store.Done(band);
}

}  // namespace

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
    std::unique_ptr<uint8_t[]> previous;  // the row above, unfiltered
    size_t bandBytes = 0;
    size_t room = 0;        // each band's chunk buffer
    Band* filling = nullptr;  // the band being filled, this writer's alone
    Band* bands[kMaxSlots] = {};  // handed over and not written yet, in the order of the image
    size_t slots = 0;        // 1 when each band is deflated here as soon as it is full
    size_t submitted = 0;    // bands full and handed over
    size_t written = 0;      // bands whose chunk is in the file
    std::unique_ptr<Kernel::Dispatch::Group> group;  // none when serial
    bool streamStarted = false;
    uLong adler = 1;

    // Deflates still running end before the bands go back.
    void Release() noexcept {
        group.reset();
        BandStore& store = BandStore::Instance();
        store.Drop(filling);
        filling = nullptr;
        for (Band*& band : bands) {
            store.Drop(band);
            band = nullptr;
        }
    }
    ~Impl() { Release(); }
};

namespace {

void DeflateSlot(void* context, size_t index) { DeflateBand(*static_cast<PNGBase::Impl*>(context)->bands[index]); }

}  // namespace

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
    std::setvbuf(m_impl->file->GetStream(), nullptr, _IOFBF, kStreamBuffer);
    png_init_io(m_impl->png, m_impl->file->GetStream());
}

PNGBase::~PNGBase() {
    Impl& impl = *m_impl;
    impl.Release();
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
    try {
        // A band's slot is free once the band before in it is written.
        if (impl.rowsInBand == 0) {
            if (impl.submitted - impl.written == impl.slots) WriteBands(impl.submitted - impl.slots + 1);
            if (!IsGood()) return;
            impl.filling = BandStore::Instance().Take(impl.bandBytes, impl.room);
        }
    } catch (const std::bad_alloc& error) {
        FailOutOfMemory(error);
        throw;
    }
    Band& band = *impl.filling;
    uint8_t* out = band.in + band.inBytes;
    const size_t samples = impl.rowBytes - 1;
    const uint8_t* above = impl.previous.get();
    out[0] = kFilterUp;
    for (size_t i = 0; i < samples; ++i) out[i + 1] = uint8_t(row[i] - above[i]);
    std::memcpy(impl.previous.get(), row, samples);
    band.inBytes += impl.rowBytes;
    ++m_rows;
    if (++impl.rowsInBand < impl.bandRows && m_rows < m_height) return;
    const bool last = m_rows == m_height;
    band.last = last;
    band.check = crc32_gzip_refl(0, band.in, uint32_t(band.inBytes));
    impl.rowsInBand = 0;
    try {
        BandStore& store = BandStore::Instance();
        const size_t slot = impl.submitted % impl.slots;
        Band* alike = store.FindAlike(&band);
        impl.filling = nullptr;
        impl.bands[slot] = alike ? alike : &band;
        ++impl.submitted;
        if (alike) {
            store.Drop(&band);
        } else if (impl.group) {
            try {
                impl.group->Run(slot);
            } catch (...) {
                // Others may wait for it: it ends, failed.
                band.error = std::current_exception();
                store.Done(band);
                throw;
            }
        } else {
            DeflateBand(band);
        }
        WriteBands(last ? impl.submitted : 0);
    } catch (const std::bad_alloc& error) {
        FailOutOfMemory(error);  // the stream has a hole: the image must not be made
        throw;
    }
}

void PNGBase::StartBands() {
    Impl& impl = *m_impl;
    impl.rowBytes = 1 + size_t(m_width) * size_t(impl.channels) * size_t(impl.bitDepth / 8);
    impl.bandRows = int(std::clamp<size_t>(kBandBytes / impl.rowBytes, 1, size_t(m_height)));
    impl.bandBytes = impl.rowBytes * size_t(impl.bandRows);
    impl.room = ChunkBound(impl.bandBytes);
    const size_t bandCount = (size_t(m_height) + size_t(impl.bandRows) - 1) / size_t(impl.bandRows);
    const bool serial = impl.rowBytes * size_t(m_height) <= kSerialBytes || Kernel::Dispatch::GetParallelism() <= 1;
    const size_t slots = std::clamp<size_t>(impl.rowBytes * size_t(m_height) / kBytesPerSlot, kSlots, kMaxSlots);
    impl.slots = serial ? 1 : std::min(slots, bandCount);
    impl.previous.reset(
        Kernel::Allocating("a PNG row", impl.rowBytes - 1, [&] { return new uint8_t[impl.rowBytes - 1](); }));
    if (impl.slots > 1)
        impl.group.reset(Kernel::Allocating("the PNG deflate group", sizeof(Kernel::Dispatch::Group),
                                            [&] { return new Kernel::Dispatch::Group(&DeflateSlot, &impl); }));
}

void PNGBase::WriteBands(size_t upTo) {
    Impl& impl = *m_impl;
    BandStore& store = BandStore::Instance();
    FILE* stream = impl.file->GetStream();
    while (impl.written < impl.submitted) {
        Band*& slot = impl.bands[impl.written % impl.slots];
        Band& band = *slot;
        if (!band.done.load(std::memory_order_acquire)) {
            if (impl.written >= upTo) return;
            // This writer's own bands that no worker has taken come first: another writer may be
            // waiting for one of them, as this one may be for one of its.
            if (!impl.group || !impl.group->RunPending()) store.WaitFor(band);
            continue;
        }
        ++impl.written;
        struct Drop {
            Band*& band;
            ~Drop() {
                BandStore::Instance().Drop(band);
                band = nullptr;
            }
        } drop{slot};
        if (!IsGood()) continue;  // what is still in the pool's hands ends unwritten
        if (band.error) std::rethrow_exception(band.error);
        if (band.failed) {
            Fail("the image data could not be compressed");
            continue;
        }
        if (!impl.streamStarted) {
            // The zlib header of a 32 KiB window and the fastest level, no dictionary.
            uint8_t header[8 + 2 + 4] = {0, 0, 0, 0, 0, 0, 0, 0, 0x78, 0x01};
            const size_t bytes = CloseChunk(header, 2);
            if (std::fwrite(header, 1, bytes, stream) != bytes) Fail("Write Error");
            impl.streamStarted = true;
        }
        impl.adler = adler32_combine(impl.adler, band.adler, z_off_t(band.inBytes));
        // Written as libpng would write them, with libpng's words should the write fail.
        if (std::fwrite(band.chunk, 1, band.chunkBytes, stream) != band.chunkBytes) Fail("Write Error");
        if (band.last) {
            uint8_t check[8 + 4 + 4];
            PutBigEndian(check + 8, uint32_t(impl.adler));
            const size_t bytes = CloseChunk(check, 4);
            if (std::fwrite(check, 1, bytes, stream) != bytes) Fail("Write Error");
        }
    }
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
