#include "RegressionStore.h"

#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "DocumentEngine.h"
#include "DocumentState.h"
#include "EngineFaults.h"
#include "Raster/Tile.h"
#include "Kernel/AssertTrap.h"
#include "Kernel/Dispatch.h"
#include "Kernel/FileSystem.h"
#include "Kernel/OutOfMemory.h"
#include "PersonaController.h"

bool RegressionBaselineFileStoreItem::s_saveBaselines = true;

// The bytes a baseline is read from: text in memory, or a file left open and read where each
// part lies.
class BaselineData {
public:
    explicit BaselineData(std::shared_ptr<const std::string> text) : m_text(std::move(text)) {}
    explicit BaselineData(Kernel::Counted<Kernel::ReadOnlyFile> file) : m_file(std::move(file)) {}

    uint64_t GetSize() const { return m_file ? m_file->GetSize() : m_text->size(); }
    // Up to length bytes from offset, fewer where the data ends: a view of the text, or of buffer
    // read from the file. False, with the reason, when the file cannot be read.
    bool Read(uint64_t offset, size_t length, std::string& buffer, std::string_view& bytes, std::string& reason) const {
        if (!m_file) {
            bytes = offset < m_text->size() ? std::string_view(*m_text).substr(size_t(offset), length) : std::string_view();
            return true;
        }
        bytes = {};
        if (!m_file->ReadAt(offset, length, buffer, reason)) return false;
        bytes = buffer;
        return true;
    }

private:
    std::shared_ptr<const std::string> m_text;
    Kernel::Counted<Kernel::ReadOnlyFile> m_file;
};

namespace {

// Where a bitmap's samples of one row of one channel plane start inside its raster tile.
size_t RowOffset(const DocEngine::FormatInfo& format, int y) {
    return size_t(y % 256) * size_t(format.TileWidth()) * size_t(format.bytesPerSample);
}

// Bitmaps the "leak" fault keeps until the process ends.
std::vector<Raster::DynamicBitmap>& LeakedBitmaps() {
    static auto* leaked = new std::vector<Raster::DynamicBitmap>;
    return *leaked;
}

// What the worker pool is asked for when spreads are compressed or decompressed, as the drawing asks.
constexpr int kInflatePriority = 21;
constexpr int kInflatePurpose = 2;

// Copies rows [top, top + rows) of one channel plane out of the bitmap's tiles, each row
// width * bytesPerSample bytes.
void CopyRows(const Raster::DynamicBitmap& bitmap, const DocEngine::FormatInfo& format, int channel, int top, int rows,
              char* out) {
    const int width = bitmap.GetWidth(), tw = format.TileWidth();
    const size_t rowBytes = size_t(width) * size_t(format.bytesPerSample);
    for (int y = top; y < top + rows; ++y) {
        for (int column = 0; column * tw < width; ++column) {
            const Raster::Tile* tile = DocEngine::BitmapTile(bitmap, channel, column, y / 256, false);
            const size_t n = size_t(std::min(tw, width - column * tw)) * size_t(format.bytesPerSample);
            if (tile) std::memcpy(out + size_t(column) * size_t(256), tile->GetConstBuffer() + RowOffset(format, y), n);
        }
        out += rowBytes;
    }
}

// Places rows of one channel plane into a bitmap's tiles. A cell's tile is made when the first
// sample that is not zero arrives, so that cells whose samples are all zeros keep the bitmap's
// shared clear tile.
class PlaneRows {
public:
    PlaneRows(const DocEngine::FormatInfo& format, Raster::DynamicBitmap& bitmap, int channel)
        : m_format(format),
          m_bitmap(bitmap),
          m_channel(channel),
          m_columns((bitmap.GetWidth() + format.TileWidth() - 1) / format.TileWidth()),
          m_buffers(size_t(m_columns), nullptr) {}

    // Rows [top, top + count), one after another; rows of a tile row come in order.
    bool Place(const uint8_t* rows, int top, int count) {
        const int width = m_bitmap.GetWidth(), tw = m_format.TileWidth();
        const size_t rowBytes = size_t(width) * size_t(m_format.bytesPerSample);
        for (int y = top; y < top + count; ++y) {
            const uint8_t* row = rows + size_t(y - top) * rowBytes;
            if (y % 256 == 0) std::fill(m_buffers.begin(), m_buffers.end(), nullptr);
            for (int column = 0; column < m_columns; ++column) {
                const uint8_t* from = row + size_t(column) * 256;
                const size_t n = size_t(std::min(tw, width - column * tw)) * size_t(m_format.bytesPerSample);
                uint8_t*& buffer = m_buffers[size_t(column)];
                if (!buffer) {
                    if (from[0] == 0 && std::memcmp(from, from + 1, n - 1) == 0) continue;  // zeros so far
                    Raster::Tile* tile = DocEngine::BitmapTile(m_bitmap, m_channel, column, y / 256, true);
                    if (!tile) return false;
                    buffer = tile->GetMutableBuffer();
                }
                std::memcpy(buffer + RowOffset(m_format, y), from, n);
            }
        }
        return true;
    }

private:
    const DocEngine::FormatInfo& m_format;
    Raster::DynamicBitmap& m_bitmap;
    int m_channel;
    int m_columns;
    std::vector<uint8_t*> m_buffers;  // the tiles of the current tile row
};

// Rows decompressed at a time: enough for the decompressor to work on long runs, few enough to
// stay in the processor's cache while they are placed.
int ChunkRows(size_t rowBytes) { return int(std::max<size_t>(1, 16384 / rowBytes)); }

// This thread's ISA-L inflater, reset for each use: several times faster than zlib's at the same
// work. Its state is large, so it is made once a thread and serves whole streams and bands alike.
inflate_state* ThreadInflater(uint32_t wrapper) {
    thread_local std::unique_ptr<inflate_state> kept;
    if (!kept)  // not zeroed: the init below sets what inflating reads
        kept.reset(Kernel::Allocating("the state of a baseline inflater", sizeof(inflate_state),
                                      [] { return new inflate_state; }));
    isal_inflate_init(kept.get());
    kept->crc_flag = wrapper;
    return kept.get();
}

// This thread's inflater of whole zlib streams: the header is read and the Adler-32 at the end
// checked.
inflate_state* StreamInflater() { return ThreadInflater(ISAL_ZLIB); }

// One spread's compressed bytes, read a piece at a time, so that decompressing a spread costs a
// few pieces of memory whatever its size: views of text in memory, or pieces read from a file.
class SpreadSource {
public:
    SpreadSource(const BaselineData& data, uint64_t offset, size_t length)
        : m_data(data), m_offset(offset), m_length(length) {}

    size_t Size() const { return m_length; }
    // Bytes [at, at + count) of the spread, cut at its end, in buffer when they come from a file.
    // False when they cannot all be read; the reason is kept. Safe on several threads at once.
    bool Read(size_t at, size_t count, std::string& buffer, std::string_view& bytes) const {
        count = at < m_length ? std::min(count, m_length - at) : 0;
        std::string reason;
        if (!m_data.Read(m_offset + at, count, buffer, bytes, reason)) return Failed(reason);
        if (bytes.size() < count) return Failed("the file ends before them");  // it shrank since it was read
        return true;
    }
    // Why a read failed; empty when none did.
    std::string GetReadError() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_readError;
    }

private:
    bool Failed(const std::string& reason) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_readError.empty()) m_readError = reason;
        return false;
    }

    const BaselineData& m_data;
    uint64_t m_offset;
    size_t m_length;
    mutable std::mutex m_mutex;
    mutable std::string m_readError;
};

// Compressed bytes handed to the stream inflater at a time: few enough that the buffer a file
// is read into costs little beside the spread's pixels, and stays in the processor's cache.
constexpr size_t kStreamPieceBytes = size_t(128) << 10;

// Feeds bytes [next, stop) of a spread to the inflater a piece at a time: a whole stream, or a band.
struct StreamInput {
    const SpreadSource& source;
    inflate_state& state;
    std::string buffer;
    size_t next = 0;  // where the next piece starts
    size_t stop = SIZE_MAX;
    size_t pieceBytes = kStreamPieceBytes;

    bool More() const { return next < std::min(stop, source.Size()); }
    // More input when the last piece is used up; false when it cannot be read.
    bool Refill() {
        if (state.avail_in > 0 || !More()) return true;
        std::string_view piece;
        if (!source.Read(next, std::min(pieceBytes, std::min(stop, source.Size()) - next), buffer, piece)) return false;
        state.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(piece.data()));
        state.avail_in = uint32_t(piece.size());
        next += piece.size();
        return true;
    }
};

// Inflates into next_out until avail_out is 0 or the stream ends; false on damaged or missing
// bytes. ended tells whether the stream ended, its check found right.
bool InflateSome(StreamInput& input, bool& ended) {
    inflate_state& state = input.state;
    while (state.avail_out > 0 && state.block_state != ISAL_BLOCK_FINISH) {
        if (!input.Refill()) return false;
        const uint32_t in = state.avail_in, out = state.avail_out;
        const int result = isal_inflate(&state);
        if (result != ISAL_DECOMP_OK && result != ISAL_END_INPUT && result != ISAL_OUT_OVERFLOW) return false;
        if (state.avail_in == in && state.avail_out == out && state.block_state != ISAL_BLOCK_FINISH) return false;
    }
    ended = state.block_state == ISAL_BLOCK_FINISH;
    return true;
}

// Inflates a spread's planes (one channel after another, rows top to bottom), as one zlib
// stream, a few rows at a time straight into the bitmap's tiles. False unless the stream ends
// exactly after the last row; bytes after its end are not looked at.
bool InflateInto(const SpreadSource& source, const DocEngine::FormatInfo& format, Raster::DynamicBitmap& bitmap) {
    const int width = bitmap.GetWidth(), height = bitmap.GetHeight();
    inflate_state& z = *StreamInflater();
    z.avail_in = 0;
    StreamInput input{source, z, {}, 0};
    const size_t rowBytes = size_t(width) * size_t(format.bytesPerSample);
    const int bandRows = ChunkRows(rowBytes);
    const size_t bandBytes = size_t(bandRows) * rowBytes;
    std::unique_ptr<uint8_t[]> band(Kernel::Allocating("a chunk of baseline rows being inflated", bandBytes,
                                                       [bandBytes] { return new uint8_t[bandBytes]; }));
    bool ended = false;
    for (int c = 0; c < format.channels; ++c) {
        PlaneRows plane(format, bitmap, c);
        for (int top = 0; top < height; top += bandRows) {
            if (ended) return false;  // the stream ended before the last row
            const int rows = std::min(bandRows, height - top);
            z.next_out = band.get();
            z.avail_out = uint32_t(size_t(rows) * rowBytes);
            if (!InflateSome(input, ended) || z.avail_out > 0) return false;
            if (!plane.Place(band.get(), top, rows)) return false;
        }
    }
    if (ended) return true;
    uint8_t extra;
    z.next_out = &extra;
    z.avail_out = 1;
    return InflateSome(input, ended) && ended && z.avail_out == 1;
}

// ---- Spreads stored in bands ----
//
// A spread of at least kBandedSpreadBytes raw bytes is stored so that its pixels inflate on many
// threads at once and still read as the one zlib stream that earlier builds read:
//   - the 2-byte zlib header that compress2 writes at the default level;
//   - the bands: runs of whole tile rows (256 rows) of one channel plane, at least kBandBytes raw
//     each but the last of a plane, in plane and row order; each is raw deflate at the default
//     level from a fresh compressor, all but the last ended with a full flush (byte-aligned, not
//     final), the last finishing the stream;
//   - the Adler-32 of all the raw bytes, big-endian, which ends the zlib stream;
//   - the index, still inside the spread's counted bytes (readers of the stream stop before it),
//     little-endian: per band an 8-byte offset just past its deflate data within the spread's
//     bytes and the 4-byte Adler-32 of its raw bytes; then the 4-byte band count and the
//     8 bytes kBandMagic, which end the spread's bytes.
// The first band starts right after the header, every other one where its predecessor ends. A
// spread whose bytes do not end with an index that fits them exactly inflates as one stream.
// From 1 MiB, so that even the planes of a 1000 x 1000 page, a band each, inflate at once: one
// thread takes several milliseconds over such a spread, longer than the rest of its comparison.
constexpr uint64_t kBandedSpreadBytes = uint64_t(1) << 20;
constexpr uint64_t kBandBytes = uint64_t(1) << 20;
constexpr char kBandMagic[8] = {'Q', 'V', 'B', 'A', 'N', 'D', 'S', '1'};
constexpr size_t kBandEntryBytes = 12;
constexpr size_t kIndexTailBytes = 12;

// The zlib header of a 32 KiB window at level 6, the default, as deflate makes it.
constexpr std::array<char, 2> ZlibHeader() {
    unsigned header = unsigned(Z_DEFLATED + ((15 - 8) << 4)) << 8 | 2u << 6;
    header += 31 - header % 31;
    return {char(header >> 8), char(header & 0xff)};
}

// Rows [top, top + rows) of one channel plane.
struct BandRows {
    int channel;
    int top;
    int rows;
};

// The bands of a spread of this size; none for one stored as a single stream.
std::vector<BandRows> BandsOf(const DocEngine::FormatInfo& format, int width, int height) {
    std::vector<BandRows> bands;
    if (format.RawBytes(width, height) < kBandedSpreadBytes) return bands;
    const uint64_t tileRowBytes = uint64_t(width) * uint64_t(format.bytesPerSample) * 256;
    const int rows = int((kBandBytes + tileRowBytes - 1) / tileRowBytes) * 256;
    for (int c = 0; c < format.channels; ++c)
        for (int top = 0; top < height; top += rows) bands.push_back({c, top, std::min(rows, height - top)});
    return bands;
}

void PutLittleEndian(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += char((value >> (8 * i)) & 0xff);
}

uint64_t GetLittleEndian(const char* in, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | uint8_t(in[i]);
    return value;
}

uint32_t GetBigEndian32(const char* in) {
    return uint32_t(uint8_t(in[0])) << 24 | uint32_t(uint8_t(in[1])) << 16 | uint32_t(uint8_t(in[2])) << 8 |
           uint32_t(uint8_t(in[3]));
}

// The spread's planes as one zlib stream, exactly as earlier builds wrote every spread.
bool CompressWhole(const Raster::DynamicBitmap& bitmap, const DocEngine::FormatInfo& format, std::string& compressed) {
    const int width = bitmap.GetWidth(), height = bitmap.GetHeight();
    const uint64_t rawBytes = format.RawBytes(width, height);
    std::string raw = Kernel::Allocating("a spread's rows being compressed whole", rawBytes,
                                         [&] { return std::string(rawBytes, '\0'); });
    const size_t planeBytes = size_t(width) * size_t(format.bytesPerSample) * size_t(height);
    for (int c = 0; c < format.channels; ++c) CopyRows(bitmap, format, c, 0, height, raw.data() + size_t(c) * planeBytes);
    uLongf length = compressBound(uLong(raw.size()));
    Kernel::Allocating("a spread compressed whole", length, [&] { compressed.assign(length, '\0'); });
    const int result = compress2(reinterpret_cast<Bytef*>(compressed.data()), &length,
                                 reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()), Z_DEFAULT_COMPRESSION);
    if (result == Z_MEM_ERROR) Kernel::ThrowOutOfMemory("the state of a spread's deflater", 268 * 1024);
    if (result != Z_OK) return false;
    compressed.resize(length);
    return true;
}

// Raw-deflate compressors for the bands of one spread: one for each thread at work at a time,
// each reset for its next band.
class DeflaterPool {
public:
    DeflaterPool() = default;
    DeflaterPool(const DeflaterPool&) = delete;
    DeflaterPool& operator=(const DeflaterPool&) = delete;
    ~DeflaterPool() {
        for (const auto& z : m_made) deflateEnd(z.get());
    }

    z_stream* Take() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_free.empty()) {
                z_stream* z = m_free.back();
                m_free.pop_back();
                return z;
            }
        }
        // zlib's state points back at its stream: it must not move.
        auto z = Kernel::Allocating("a baseline band's deflater", sizeof(z_stream),
                                    [] { return std::make_unique<z_stream>(); });
        const int result = deflateInit2(z.get(), Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        // Its window, hash chains and pending buffer at these settings.
        if (result == Z_MEM_ERROR) Kernel::ThrowOutOfMemory("the state of a baseline band's deflater", 268 * 1024);
        if (result != Z_OK) return nullptr;
        std::lock_guard<std::mutex> lock(m_mutex);
        try {
            m_made.push_back(std::move(z));
        } catch (const std::bad_alloc&) {
            deflateEnd(z.get());
            Kernel::ThrowOutOfMemory("the list of a baseline's deflaters", (m_made.size() + 1) * sizeof(z_stream*));
        }
        return m_made.back().get();
    }
    // Throws nothing: a stream the free list has no room for is kept for deflateEnd alone.
    void Give(z_stream* z) noexcept {
        if (deflateReset(z) != Z_OK) return;  // kept for deflateEnd, never handed out again
        std::lock_guard<std::mutex> lock(m_mutex);
        try {
            m_free.push_back(z);
        } catch (const std::bad_alloc&) {
        }
    }

private:
    std::mutex m_mutex;
    std::vector<std::unique_ptr<z_stream>> m_made;
    std::vector<z_stream*> m_free;
};

struct PackedBand {
    std::string bytes;
    uint32_t adler = 0;
    bool good = false;
};

struct BandedWrite {
    const Raster::DynamicBitmap* bitmap = nullptr;
    const DocEngine::FormatInfo* format = nullptr;
    const std::vector<BandRows>* bands = nullptr;
    std::vector<PackedBand> packed;
    DeflaterPool deflaters;
};

void DeflateBand(void* context, size_t index) {
    BandedWrite& work = *static_cast<BandedWrite*>(context);
    const BandRows& band = (*work.bands)[index];
    const bool last = index + 1 == work.bands->size();
    PackedBand& packed = work.packed[index];
    const size_t rawBytes = size_t(band.rows) * size_t(work.bitmap->GetWidth()) * size_t(work.format->bytesPerSample);
    std::unique_ptr<char[]> raw(Kernel::Allocating("a band of baseline rows being compressed", rawBytes,
                                                   [rawBytes] { return new char[rawBytes](); }));
    CopyRows(*work.bitmap, *work.format, band.channel, band.top, band.rows, raw.get());
    packed.adler = uint32_t(adler32(adler32(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(raw.get()), uInt(rawBytes)));
    z_stream* z = work.deflaters.Take();
    if (!z) return;
    z->next_in = reinterpret_cast<Bytef*>(raw.get());
    z->avail_in = uInt(rawBytes);
    // Given back to the pool however the band ends, so that the pool's end frees its state.
    struct Given {
        DeflaterPool& pool;
        z_stream* z;
        ~Given() { pool.Give(z); }
    } given{work.deflaters, z};
    auto grow = [&packed](size_t bytes) {
        Kernel::Allocating("a band of compressed baseline rows", bytes, [&] { packed.bytes.resize(bytes); });
    };
    grow(size_t(deflateBound(z, uLong(rawBytes))) + 64);  // room for the flush's empty block
    size_t used = 0;
    for (;;) {
        z->next_out = reinterpret_cast<Bytef*>(packed.bytes.data() + used);
        z->avail_out = uInt(packed.bytes.size() - used);
        const int result = deflate(z, last ? Z_FINISH : Z_FULL_FLUSH);
        used = packed.bytes.size() - z->avail_out;
        // A flush is complete when it leaves room to spare; only the last band ends the stream.
        if (last ? result == Z_STREAM_END : result == Z_OK && z->avail_out > 0) {
            packed.good = true;
            break;
        }
        if ((result != Z_OK && result != Z_BUF_ERROR) || z->avail_out > 0) break;
        grow(packed.bytes.size() * 2);
    }
    packed.bytes.resize(used);
}

// The spread in bands; empty when a band could not be compressed, or when the whole would be
// larger than the bound of one stream, which the baseline file's size limit assumes.
std::string CompressBanded(const Raster::DynamicBitmap& bitmap, const DocEngine::FormatInfo& format,
                           const std::vector<BandRows>& bands) {
    BandedWrite work;
    work.bitmap = &bitmap;
    work.format = &format;
    work.bands = &bands;
    work.packed.resize(bands.size());
    Kernel::Dispatch::DispatchParallelFor(&DeflateBand, bands.size(), &work, kInflatePriority, kInflatePurpose, 0);
    size_t total = 2 + 4 + bands.size() * kBandEntryBytes + kIndexTailBytes;
    for (const PackedBand& packed : work.packed) {
        if (!packed.good) return {};
        total += packed.bytes.size();
    }
    const std::array<char, 2> header = ZlibHeader();
    std::string out(header.begin(), header.end()), index;
    Kernel::Allocating("a spread's compressed bands joined", total, [&] {
        out.reserve(total);
        index.reserve(bands.size() * kBandEntryBytes + kIndexTailBytes);
    });
    const size_t rowBytes = size_t(bitmap.GetWidth()) * size_t(format.bytesPerSample);
    uLong adler = adler32(0, Z_NULL, 0);
    for (size_t i = 0; i < bands.size(); ++i) {
        out += work.packed[i].bytes;
        work.packed[i].bytes = std::string();
        adler = adler32_combine(adler, work.packed[i].adler, z_off_t(size_t(bands[i].rows) * rowBytes));
        PutLittleEndian(index, out.size(), 8);
        PutLittleEndian(index, work.packed[i].adler, 4);
    }
    for (int shift = 24; shift >= 0; shift -= 8) out += char((adler >> shift) & 0xff);
    PutLittleEndian(index, bands.size(), 4);
    index.append(kBandMagic, sizeof kBandMagic);
    out += index;
    if (out.size() > compressBound(uLong(format.RawBytes(bitmap.GetWidth(), bitmap.GetHeight())))) return {};
    return out;
}

// One band as the index gives it.
struct BandSpan {
    BandRows rows;
    size_t begin;  // of its deflate data within the spread's bytes
    size_t end;
    uint32_t adler;  // of its raw bytes
};

// The bands of a spread's bytes, when they end with an index that fits them exactly: the count
// of bands this spread's size is written in, each band's data right after the zlib header or
// its predecessor, the last ending right before the stream's Adler-32, and that the bands'
// combined. False for anything else: the bytes then inflate as one stream, which checks itself.
bool ReadBandIndex(const SpreadSource& source, const DocEngine::FormatInfo& format, int width, int height,
                   std::vector<BandSpan>& spans) {
    const std::vector<BandRows> bands = BandsOf(format, width, height);
    if (bands.empty()) return false;
    const size_t indexBytes = bands.size() * kBandEntryBytes + kIndexTailBytes;
    const size_t size = source.Size();
    if (size < 2 + 4 + indexBytes) return false;
    // The zlib header, and the stream's Adler-32 with the index after it: the bands' bytes are
    // read only by the bands.
    std::string headBuffer, tailBuffer;
    std::string_view head, tail;
    if (!source.Read(0, 2, headBuffer, head) || !source.Read(size - indexBytes - 4, indexBytes + 4, tailBuffer, tail))
        return false;
    const char* count = tail.data() + tail.size() - kIndexTailBytes;
    if (std::memcmp(count + 4, kBandMagic, sizeof kBandMagic) != 0 || GetLittleEndian(count, 4) != bands.size())
        return false;
    // Deflate with a 32 KiB window and no preset dictionary, which the raw inflater of a band assumes.
    const unsigned cmf = uint8_t(head[0]), flg = uint8_t(head[1]);
    if (cmf != 0x78 || (cmf * 256 + flg) % 31 != 0 || (flg & 0x20) != 0) return false;
    const size_t trailer = size - indexBytes - 4;
    const char* entry = tail.data() + 4;
    const size_t rowBytes = size_t(width) * size_t(format.bytesPerSample);
    spans.clear();
    size_t begin = 2;
    uLong adler = adler32(0, Z_NULL, 0);
    for (const BandRows& band : bands) {
        const uint64_t end = GetLittleEndian(entry, 8);
        const uint64_t raw = uint64_t(band.rows) * rowBytes;
        // No band is longer than its compressed bound and the flush after it, as none is written so.
        if (end <= begin || end > trailer || end - begin > compressBound(uLong(raw)) + 64) return false;
        spans.push_back({band, begin, size_t(end), uint32_t(GetLittleEndian(entry + 8, 4))});
        adler = adler32_combine(adler, spans.back().adler, z_off_t(raw));
        begin = size_t(end);
        entry += kBandEntryBytes;
    }
    return begin == trailer && GetBigEndian32(tail.data()) == adler;
}

// Compressed bytes handed to a band's inflater at a time; every thread inflating holds a piece.
constexpr size_t kBandPieceBytes = size_t(32) << 10;

// Inflates one band into its tile rows, alone. True when exactly its byte range gives exactly its
// raw bytes, with the index's Adler-32, and ends the deflate stream if and only if it is the last
// band; any other band must end at a byte-aligned block boundary, as a full flush leaves it.
bool InflateBand(const SpreadSource& source, const BandSpan& band, bool last, const DocEngine::FormatInfo& format,
                 Raster::DynamicBitmap& bitmap) {
    inflate_state& z = *ThreadInflater(ISAL_DEFLATE);
    z.avail_in = 0;
    StreamInput input{source, z, {}, band.begin, band.end, kBandPieceBytes};
    const size_t rowBytes = size_t(bitmap.GetWidth()) * size_t(format.bytesPerSample);
    const int chunkRows = ChunkRows(rowBytes);
    const size_t chunkBytes = size_t(chunkRows) * rowBytes;
    std::unique_ptr<uint8_t[]> chunk(Kernel::Allocating("a chunk of baseline rows being inflated", chunkBytes,
                                                        [chunkBytes] { return new uint8_t[chunkBytes]; }));
    PlaneRows plane(format, bitmap, band.rows.channel);
    uint32_t adler = 1;
    bool ended = false;
    const int bottom = band.rows.top + band.rows.rows;
    for (int top = band.rows.top; top < bottom; top += chunkRows) {
        if (ended) return false;
        const int rows = std::min(chunkRows, bottom - top);
        const size_t n = size_t(rows) * rowBytes;
        z.next_out = chunk.get();
        z.avail_out = uint32_t(n);
        if (!InflateSome(input, ended) || z.avail_out > 0) return false;
        adler = isal_adler32(adler, chunk.get(), uint64_t(n));
        if (!plane.Place(chunk.get(), top, rows)) return false;
    }
    // What is left may end the last block and hold the flush's empty block, but no samples.
    uint8_t extra;
    z.next_out = &extra;
    z.avail_out = 1;
    while (z.block_state != ISAL_BLOCK_FINISH) {
        // Bits already taken in are worked through too, so the loop ends only when nothing moves.
        if (!input.Refill()) return false;
        const uint32_t in = z.avail_in;
        const int32_t bits = z.read_in_length;
        const isal_block_state state = z.block_state;
        const int result = isal_inflate(&z);
        if ((result != ISAL_DECOMP_OK && result != ISAL_END_INPUT) || z.avail_out != 1) return false;
        if (z.avail_in == in && z.read_in_length == bits && z.block_state == state && !input.More()) break;
    }
    ended = z.block_state == ISAL_BLOCK_FINISH;
    if (ended != last || z.avail_in != 0 || input.More() || adler != band.adler) return false;
    // The last band: nothing but the final block's padding after it. Any other: stopped between
    // blocks, outside the stream's last one, with no bit of the range left over.
    // (Out of input there, the inflater waits for a block header it has no byte of yet.)
    return last ? z.read_in_length < 8
                : (z.block_state == ISAL_BLOCK_NEW_HDR || z.block_state == ISAL_BLOCK_HDR) && !z.bfinal &&
                      z.read_in_length == 0 && z.tmp_in_size == 0;
}

// What one inflation of a spread's bytes needs between its parts.
struct InflateWork {
    const SpreadSource* source = nullptr;
    const DocEngine::FormatInfo* format = nullptr;
    Raster::DynamicBitmap bitmap;  // null when the spread's size does not fit its format
    std::vector<BandSpan> bands;   // none: the stream inflates whole, as one part
    std::vector<char> good;        // per part

    void Begin(Raster::Format code, int width, int height, uint64_t raw, const SpreadSource& bytes) {
        source = &bytes;
        format = DocEngine::FindFormat(code);
        if (format && raw == format->RawBytes(width, height)) {
            bitmap = Raster::DynamicBitmap::Create(code, width, height);
            if (!ReadBandIndex(bytes, *format, width, height, bands)) bands.clear();
        }
        good.assign(Parts(), 0);
    }
    size_t Parts() const { return bands.empty() ? 1 : bands.size(); }
    bool unaccounted = false;  // the tile buffers made are not the engine's

    void Run(size_t part) {
        if (!bitmap || part >= good.size()) return;
        std::optional<Raster::MemoryManager::ThreadUnaccountedScope> scope;
        if (unaccounted) scope.emplace();
        if (bands.empty()) {
            good[part] = InflateInto(*source, *format, bitmap);
            return;
        }
        good[part] = InflateBand(*source, bands[part], part + 1 == bands.size(), *format, bitmap);
    }
    // The bitmap, or a null one when the bytes do not inflate to the spread's pixels.
    Raster::DynamicBitmap End() {
        if (!bitmap) return {};
        if (std::find(good.begin(), good.end(), 0) == good.end()) return bitmap;
        if (bands.empty()) return {};
        // A band or the index is at fault: the stream, inflated whole, decides.
        std::optional<Raster::MemoryManager::ThreadUnaccountedScope> scope;
        if (unaccounted) scope.emplace();
        bitmap = Raster::DynamicBitmap::Create(bitmap.GetFormat(), bitmap.GetWidth(), bitmap.GetHeight());
        return InflateInto(*source, *format, bitmap) ? bitmap : Raster::DynamicBitmap();
    }
};

}  // namespace

// ---- Stored spreads -----------------------------------------------------------------------

StoredSpread::StoredSpread(Raster::Format format, int width, int height, uint64_t rawSize, std::string compressed)
    : StoredSpread(format, width, height, rawSize, nullptr, 0, compressed.size(), 0) {
    m_data = std::make_shared<const BaselineData>(std::make_shared<const std::string>(std::move(compressed)));
    m_keepsBitmap = false;
}

StoredSpread::StoredSpread(Raster::Format format, int width, int height, uint64_t rawSize,
                           std::shared_ptr<const BaselineData> data, uint64_t offset, size_t length, uint64_t line)
    : m_format(format),
      m_width(width),
      m_height(height),
      m_rawSize(rawSize),
      m_data(std::move(data)),
      m_offset(offset),
      m_length(length),
      m_line(line),
      m_keepsBitmap(true) {
    Raster::MemoryManager::Instance().AddCompressed(m_length);
}

StoredSpread::~StoredSpread() {
    EndPrefetch(false);
    Raster::MemoryManager::Instance().RemoveCompressed(m_length);
}

std::string_view StoredSpread::GetCompressed() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_isCopied) {
        std::string reason;
        m_isCopied = m_data->Read(m_offset, m_length, m_copy, m_compressed, reason) && m_compressed.size() == m_length;
        if (!m_isCopied) {
            m_compressed = {};
            m_copy = std::string();
        }
    }
    return m_compressed;
}

Kernel::Counted<StoredSpread> StoredSpread::FromBitmap(const Raster::DynamicBitmap& bitmap) {
    const DocEngine::FormatInfo* format = DocEngine::FindFormat(bitmap.GetFormat());
    if (!bitmap || !format) return {};
    const int width = bitmap.GetWidth(), height = bitmap.GetHeight();
    const std::vector<BandRows> bands = BandsOf(*format, width, height);
    std::string compressed;
    if (!bands.empty()) compressed = CompressBanded(bitmap, *format, bands);
    if (compressed.empty() && !CompressWhole(bitmap, *format, compressed)) return {};
    return Kernel::MakeCounted<StoredSpread>(format->code, width, height, format->RawBytes(width, height),
                                             std::move(compressed));
}

Raster::DynamicBitmap StoredSpread::Inflate(std::string& error, bool unaccounted) const {
    const SpreadSource source(*m_data, m_offset, m_length);
    InflateWork work;
    work.unaccounted = unaccounted;
    work.Begin(m_format, m_width, m_height, m_rawSize, source);
    Kernel::Dispatch::DispatchParallelFor(
        [](void* context, size_t part) { static_cast<InflateWork*>(context)->Run(part); }, work.Parts(), &work,
        kInflatePriority, kInflatePurpose, 0);
    Raster::DynamicBitmap bitmap = work.End();
    if (!bitmap) {
        const std::string unread = source.GetReadError();
        error = unread.empty() ? "the compressed pixels do not decompress to the spread's size"
                               : "the compressed pixels can't be read: " + unread;
    }
    return bitmap;
}

Raster::DynamicBitmap StoredSpread::Decompress(std::string* error) const {
    if (!m_keepsBitmap) {
        std::string reason;
        Raster::DynamicBitmap bitmap = Inflate(reason, false);
        if (!bitmap && error) *error = reason;
        return bitmap;
    }
    EndPrefetch(true);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bitmap && m_error.empty()) MakeKeptBitmap();
    if (!m_bitmap) {
        if (error) *error = m_error;
        return {};
    }
    // Charged to the planar account while a handle to it is out, just as a bitmap decompressed
    // for the caller would be.
    return Raster::DynamicBitmap(m_bitmap.GetFormat(), Kernel::Counted<Raster::BitmapBase>(m_bitmap.GetBitmap()),
                                 std::make_shared<const Raster::PlanarCharge>(m_bitmapBytes));
}

void StoredSpread::MakeKeptBitmap() const {
    // Kept between comparisons, the bitmap is the store's memory, not the engine's.
    std::string reason;
    m_bitmap = Inflate(reason, true);
    if (!m_bitmap) m_error = "damaged at byte " + std::to_string(m_line) + ": " + reason;
    m_bitmapBytes = m_bitmap ? m_bitmap.GetBitmap()->GetTileBufferBytes() : 0;
}

void StoredSpread::Prefetch() const {
    if (!m_keepsBitmap) return;
    Kernel::Dispatch::Group* group;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_prefetch || m_bitmap || !m_error.empty()) return;
        try {
            m_prefetch.reset(new Kernel::Dispatch::Group(
                [](void* context, size_t) {
                    const StoredSpread& spread = *static_cast<const StoredSpread*>(context);
                    std::lock_guard<std::mutex> lock(spread.m_mutex);
                    if (!spread.m_bitmap && spread.m_error.empty()) spread.MakeKeptBitmap();
                },
                const_cast<StoredSpread*>(this)));
        } catch (const std::bad_alloc&) {
            return;  // Decompress makes the bitmap itself
        }
        group = m_prefetch.get();
    }
    try {
        group->Run(0);
    } catch (const std::bad_alloc&) {
        // Not handed over: Decompress makes the bitmap itself.
    }
}

void StoredSpread::EndPrefetch(bool throwing) const {
    std::unique_ptr<Kernel::Dispatch::Group> prefetch;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        prefetch = std::move(m_prefetch);
    }
    if (!prefetch) return;
    // Memory that ran out making the bitmap is the failure of whoever needs it now; whoever
    // lets it go does not.
    if (throwing) prefetch->Wait();
    else prefetch.reset();
}

void StoredSpread::Release() const {
    EndPrefetch(false);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bitmap = Raster::DynamicBitmap();
    m_bitmapBytes = 0;
}

// ---- Renders ------------------------------------------------------------------------------

RegressionRender::RegressionRender(const Kernel::Counted<DocumentController>& document) {
    DocEngine::DocumentModel* model = document ? document->GetModel() : nullptr;
    if (!model) return;
    const EngineFaults::Faults& faults = EngineFaults::Current();
    if (faults.crash) std::abort();
    {
        std::lock_guard<std::mutex> lock(model->Mutex());
        m_bitmaps = model->Render();
    }
    if (faults.slowMilliseconds) std::this_thread::sleep_for(std::chrono::milliseconds(faults.slowMilliseconds));
    static std::atomic<bool> asserted{false}, leaked{false};
    if (faults.assertion && !asserted.exchange(true)) KERNEL_ASSERT(!"render fault asked for by QUIREVALE_ENGINE_FAULT");
    if (faults.leak && !m_bitmaps.empty() && !leaked.exchange(true)) LeakedBitmaps().push_back(m_bitmaps.front());
}

RegressionRender::RegressionRender(std::vector<Kernel::Counted<StoredSpread>> stored)
    : m_isStored(true), m_stored(std::move(stored)) {}

RegressionRender::RegressionRender(std::vector<Raster::DynamicBitmap> bitmaps) : m_bitmaps(std::move(bitmaps)) {}

size_t RegressionRender::GetSpreadCount() const { return m_isStored ? m_stored.size() : m_bitmaps.size(); }

bool RegressionRender::GetSpreadShape(size_t index, Raster::Format& format, int& width, int& height) const {
    if (index >= GetSpreadCount()) return false;
    if (m_isStored) {
        const StoredSpread* spread = m_stored[index].Get();
        if (!spread) return false;
        format = spread->GetFormat();
        width = spread->GetWidth();
        height = spread->GetHeight();
        return true;
    }
    const Raster::DynamicBitmap& bitmap = m_bitmaps[index];
    if (!bitmap) return false;
    format = bitmap.GetFormat();
    width = bitmap.GetWidth();
    height = bitmap.GetHeight();
    return true;
}

Raster::DynamicBitmap RegressionRender::GetSpreadBitmap(size_t index, std::string* error) const {
    if (index >= GetSpreadCount()) return {};
    if (!m_isStored) return m_bitmaps[index];
    return m_stored[index] ? m_stored[index]->Decompress(error) : Raster::DynamicBitmap();
}

void RegressionRender::PrefetchFirstSpread(const Kernel::Counted<DocumentController>& document) const {
    const DocEngine::DocumentModel* model = document ? document->GetModel() : nullptr;
    if (!m_isStored || m_stored.empty() || !m_stored[0] || !model || model->GetSpreadSizes().empty()) return;
    const StoredSpread& spread = *m_stored[0];
    const auto [width, height] = model->GetSpreadSizes()[0];
    if (spread.GetFormat() == model->GetFormat().code && spread.GetWidth() == width && spread.GetHeight() == height)
        spread.Prefetch();
}

void RegressionRender::ReleaseSpreadBitmap(size_t index) const {
    if (m_isStored && index < m_stored.size() && m_stored[index]) m_stored[index]->Release();
}

void RegressionRender::ReleaseSpreadBitmaps() const {
    for (size_t i = 0; i < m_stored.size(); ++i) ReleaseSpreadBitmap(i);
}

Kernel::Counted<RegressionRender> RegressionRender::Store() const {
    if (m_isStored) return Kernel::Counted<RegressionRender>(new RegressionRender(m_stored));
    std::vector<Kernel::Counted<StoredSpread>> stored;
    for (const Raster::DynamicBitmap& bitmap : m_bitmaps) stored.push_back(StoredSpread::FromBitmap(bitmap));
    return Kernel::Counted<RegressionRender>(new RegressionRender(std::move(stored)));
}

// ---- Baselines ----------------------------------------------------------------------------

namespace {

void RunCommand(DocumentController& document, Kernel::Counted<DocumentCommand> command) {
    if (command->IsQueued()) {
        document.EnqueueCommand(command);
        document.WaitUntilCommandQueueEmpty();
    } else {
        document.ExecuteCommand(command);
    }
}

}  // namespace

RegressionBaseline::RegressionBaseline(bool perfectClipping, Kernel::Counted<RegressionRender> render,
                                       Kernel::Counted<RegressionRender> postRedoRender,
                                       std::vector<Kernel::Counted<RegressionRender>> snapshots)
    : m_perfectClipping(perfectClipping),
      m_render(std::move(render)),
      m_postRedoRender(std::move(postRedoRender)),
      m_snapshots(std::move(snapshots)) {}

bool RegressionBaseline::WantSnapshotForRegression(const Kernel::Counted<DocumentSnapshot>& snapshot) {
    return snapshot && snapshot->IsWantedForRegression();
}

Kernel::Counted<RegressionBaseline> RegressionBaseline::Create(const Kernel::Counted<DocumentController>& document,
                                                               bool withPostRedoRender) {
    if (!document || !document->GetModel()) return {};
    document->Settle();
    Kernel::Counted<RegressionRender> render = RegressionRender(document).Store();

    std::vector<Kernel::Counted<RegressionRender>> snapshots;
    for (int32_t i = 0; i < document->GetSnapshotCount(); ++i) {
        Kernel::Counted<DocumentSnapshot> snapshot = document->GetSnapshotAtIndex(i);
        if (!WantSnapshotForRegression(snapshot)) continue;
        auto copy = Kernel::MakeCounted<DocumentController>();
        // Every wanted snapshot takes its place, so that indexes match the document's.
        if (copy->NewDocument(snapshot, DocumentController::NewDocParams()))
            snapshots.push_back(RegressionRender(copy).Store());
        else
            snapshots.push_back(Kernel::Counted<RegressionRender>(new RegressionRender(std::vector<Raster::DynamicBitmap>())));
    }

    Kernel::Counted<RegressionRender> postRedo;
    if (withPostRedoRender) {
        DocumentHistory history = document->GetDocumentHistory();
        const int32_t position = history.GetUndoPosition();
        if (history.GetSize() > 0) {
            RunCommand(*document, Kernel::MakeCounted<SetHistoryIndexCommand>(-1));
            RunCommand(*document, Kernel::MakeCounted<SetHistoryIndexCommand>(position - 1));
        }
        postRedo = RegressionRender(document).Store();
    }
    return Kernel::MakeCounted<RegressionBaseline>(PersonaController::GetInstance()->m_perfectClipping, render,
                                                   postRedo, std::move(snapshots));
}

namespace {

void WriteRender(std::string& out, const char* tag, const RegressionRender& render) {
    Kernel::Counted<RegressionRender> kept;  // a live render is compressed for the file
    const RegressionRender* source = &render;
    if (!render.IsStored()) {
        kept = render.Store();
        source = kept.Get();
    }
    out += std::string(tag) + " " + std::to_string(source->GetSpreadCount()) + "\n";
    for (const auto& spread : source->GetStoredSpreads()) {
        if (!spread) {
            out += "spread none\n";
            continue;
        }
        out += "spread " + std::to_string(spread->GetFormat()) + " " + std::to_string(spread->GetWidth()) + " " +
               std::to_string(spread->GetHeight()) + " " + std::to_string(spread->GetRawSize()) + " " +
               std::to_string(spread->GetCompressed().size()) + "\n";
        const std::string_view bytes = spread->GetCompressed();
        Kernel::Allocating("the bytes of a baseline file", out.size() + bytes.size() + 1, [&] {
            out += bytes;
            out += "\n";
        });
    }
}

class BaselineReader {
public:
    BaselineReader(std::shared_ptr<const BaselineData> data, std::string& error)
        : m_data(std::move(data)), m_size(m_data->GetSize()), m_error(error) {}

    bool Line(std::string_view& line) {
        std::string_view bytes;
        if (!Peek(m_at, kLongestLine + 1, bytes)) return false;
        const size_t end = bytes.find('\n');
        if (end == std::string_view::npos) return Fail("a line is cut short or too long");
        line = bytes.substr(0, end);
        m_lineStart = m_at;
        m_at += end + 1;
        return true;
    }

    // "word value" where value is a whole number up to max.
    bool Counted(std::string_view line, std::string_view word, uint64_t max, uint64_t& value) {
        if (!line.starts_with(word) || line.size() <= word.size() || line[word.size()] != ' ')
            return Fail("\"" + std::string(word) + "\" expected");
        return Number(line.substr(word.size() + 1), max, value);
    }

    bool Number(std::string_view text, uint64_t max, uint64_t& value) {
        auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        if (result.ec != std::errc() || result.ptr != text.data() + text.size() || value > max)
            return Fail("\"" + std::string(text) + "\" is not a number in range");
        return true;
    }

    bool Render(std::string_view line, std::string_view word, Kernel::Counted<RegressionRender>& render) {
        uint64_t count;
        if (!Counted(line, word, DocEngine::kMaxSpreads, count)) return false;
        std::vector<Kernel::Counted<StoredSpread>> spreads;
        for (uint64_t i = 0; i < count; ++i) {
            Kernel::Counted<StoredSpread> spread;
            if (!Spread(spread)) return false;
            spreads.push_back(std::move(spread));
        }
        render = Kernel::Counted<RegressionRender>(new RegressionRender(std::move(spreads)));
        return true;
    }

    bool Spread(Kernel::Counted<StoredSpread>& spread) {
        std::string_view line;
        if (!Line(line)) return false;
        if (line == "spread none") return true;
        if (!line.starts_with("spread ")) return Fail("\"spread\" expected");
        std::vector<std::string_view> words;
        for (size_t i = 7; i <= line.size();) {
            size_t j = line.find(' ', i);
            if (j == std::string_view::npos) j = line.size();
            words.push_back(line.substr(i, j - i));
            i = j + 1;
        }
        uint64_t code, width, height, raw, compressed;
        if (words.size() != 5 || !Number(words[0], 255, code) || !Number(words[1], DocEngine::kMaxSpreadSide, width) ||
            !Number(words[2], DocEngine::kMaxSpreadSide, height) || !Number(words[3], UINT64_MAX, raw) ||
            !Number(words[4], UINT64_MAX, compressed))
            return Fail("a spread line needs a format, a size and two byte counts");
        const DocEngine::FormatInfo* format = DocEngine::FindFormat(Raster::Format(code));
        if (!format) return Fail("unknown pixel format " + std::to_string(code));
        if (width < 1 || height < 1 || width * height > uint64_t(DocEngine::kMaxSpreadArea))
            return Fail("a spread size out of range");
        if (raw != format->RawBytes(int(width), int(height))) return Fail("the byte count does not fit the size");
        // No build writes more than zlib's bound, so a spread read costs no more than its samples.
        if (compressed > compressBound(uLong(raw))) return Fail("more compressed bytes than the size allows");
        if (compressed == 0 || compressed > m_size - m_at || m_size - m_at - compressed < 1)
            return Fail("the compressed pixels are cut short");
        // The line feed after the bytes, and the next line with it; the bytes are not read here.
        std::string_view after;
        if (!Peek(m_at + compressed, kLongestLine + 2, after)) return false;
        if (after.empty() || after[0] != '\n') return Fail("the compressed pixels are cut short");
        spread = Kernel::MakeCounted<StoredSpread>(format->code, int(width), int(height), raw, m_data, m_at,
                                                   size_t(compressed), m_lineStart);
        m_at += compressed + 1;
        return true;
    }

    bool Fail(const std::string& why) {
        m_error = "damaged at byte " + std::to_string(m_lineStart) + ": " + why;
        return false;
    }
    bool AtEnd() const { return m_at == m_size; }

private:
    // Lines are at most this long, without their line feed.
    static constexpr size_t kLongestLine = 200;
    // Bytes read from a file at a time: a small baseline in one read, a large one a read or two
    // for each spread's line.
    static constexpr size_t kWindowBytes = 65536;

    // Up to length bytes from offset, fewer where the data ends.
    bool Peek(uint64_t offset, size_t length, std::string_view& bytes) {
        const uint64_t windowEnd = m_windowStart + m_window.size();
        if (offset < m_windowStart || (offset + length > windowEnd && windowEnd < m_size)) {
            std::string reason;
            if (!m_data->Read(offset, std::max(length, kWindowBytes), m_buffer, m_window, reason)) {
                m_error = "the file can't be read: " + reason;
                return false;
            }
            m_windowStart = offset;
        }
        const uint64_t from = offset - m_windowStart;
        bytes = from < m_window.size() ? m_window.substr(size_t(from), length) : std::string_view();
        return true;
    }

    std::shared_ptr<const BaselineData> m_data;
    uint64_t m_size;
    std::string& m_error;
    uint64_t m_at = 0;
    uint64_t m_lineStart = 0;
    std::string m_buffer;     // what was last read from a file
    std::string_view m_window;  // the data's bytes from m_windowStart
    uint64_t m_windowStart = 0;
};

// Every line of the data, in order, each checked before the next is read.
Kernel::Counted<RegressionBaseline> ReadBaseline(std::shared_ptr<const BaselineData> data, std::string& error) {
    BaselineReader reader(std::move(data), error);
    std::string_view line;
    uint64_t value;
    if (!reader.Line(line)) return {};
    if (line != "quirevale-baseline 1") {
        reader.Fail("not a baseline file");
        return {};
    }
    if (!reader.Line(line) || !reader.Counted(line, "perfect-clipping", 1, value)) return {};
    const bool perfect = value == 1;
    Kernel::Counted<RegressionRender> render, postRedo;
    if (!reader.Line(line) || !reader.Render(line, "main", render)) return {};
    if (!reader.Line(line)) return {};
    if (line != "post-redo none" && !reader.Render(line, "post-redo", postRedo)) return {};
    uint64_t count;
    if (!reader.Line(line) || !reader.Counted(line, "snapshots", DocEngine::kMaxSnapshots, count)) return {};
    std::vector<Kernel::Counted<RegressionRender>> snapshots;
    for (uint64_t i = 0; i < count; ++i) {
        Kernel::Counted<RegressionRender> snapshot;
        if (!reader.Line(line) || !reader.Render(line, "snapshot", snapshot)) return {};
        snapshots.push_back(std::move(snapshot));
    }
    if (!reader.Line(line)) return {};
    if (line != "end" || !reader.AtEnd()) {
        reader.Fail("\"end\" expected as the last line");
        return {};
    }
    return Kernel::MakeCounted<RegressionBaseline>(perfect, std::move(render), std::move(postRedo),
                                                   std::move(snapshots));
}

}  // namespace

std::string RegressionBaseline::Serialise() const {
    std::string out = "quirevale-baseline 1\n";
    out += std::string("perfect-clipping ") + (m_perfectClipping ? "1" : "0") + "\n";
    WriteRender(out, "main", m_render ? *m_render : RegressionRender(std::vector<Raster::DynamicBitmap>()));
    if (m_postRedoRender) WriteRender(out, "post-redo", *m_postRedoRender);
    else out += "post-redo none\n";
    out += "snapshots " + std::to_string(m_snapshots.size()) + "\n";
    for (const auto& snapshot : m_snapshots)
        WriteRender(out, "snapshot", snapshot ? *snapshot : RegressionRender(std::vector<Raster::DynamicBitmap>()));
    out += "end\n";
    return out;
}

Kernel::Counted<RegressionBaseline> RegressionBaseline::Deserialise(const std::string& data, std::string& error) {
    return Deserialise(std::make_shared<const std::string>(data), error);
}

Kernel::Counted<RegressionBaseline> RegressionBaseline::Deserialise(std::shared_ptr<const std::string> data,
                                                                    std::string& error) {
    return ReadBaseline(std::make_shared<const BaselineData>(std::move(data)), error);
}

Kernel::Counted<RegressionBaseline> RegressionBaseline::Deserialise(const Kernel::Counted<Kernel::ReadOnlyFile>& file,
                                                                    std::string& error) {
    return ReadBaseline(std::make_shared<const BaselineData>(file), error);
}

// ---- Metadata -----------------------------------------------------------------------------

std::vector<Kernel::String> RegressionMetadata::GetMetadataValuesForKey(const Kernel::String& key) const {
    std::vector<Kernel::String> values;
    for (const auto& [k, v] : m_values)
        if (k == key) values.push_back(v);
    return values;
}

void RegressionMetadata::RemoveMetadataValuesForKey(const Kernel::String& key) {
    std::erase_if(m_values, [&](const auto& entry) { return entry.first == key; });
}

void RegressionMetadata::AddMetadataValueForKey(const Kernel::String& key, const Kernel::String& value) {
    m_values.emplace_back(key, value);
}

namespace {
// Keys and values stay on their line and in their column.
std::string Field(const Kernel::String& text) {
    std::string field = text.ToStd();
    for (char& c : field)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return field;
}
}  // namespace

std::string RegressionMetadata::Serialise() const {
    std::string out = "quirevale-metrics 1\n";
    for (const auto& [key, value] : m_values) out += Field(key) + "\t" + Field(value) + "\n";
    out += "end\n";
    return out;
}

Kernel::Counted<RegressionMetadata> RegressionMetadata::Deserialise(const std::string& text, std::string& error) {
    auto metadata = Kernel::MakeCounted<RegressionMetadata>();
    size_t at = 0;
    int number = 0;
    bool ended = false;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        ++number;
        if (end == std::string::npos) {
            error = "line " + std::to_string(number) + " is cut short";
            return {};
        }
        std::string_view line = std::string_view(text).substr(at, end - at);
        at = end + 1;
        if (ended) {
            error = "line " + std::to_string(number) + " follows \"end\"";
            return {};
        }
        if (number == 1) {
            if (line != "quirevale-metrics 1") {
                error = "not a metric file";
                return {};
            }
            continue;
        }
        if (line == "end") {
            ended = true;
            continue;
        }
        size_t tab = line.find('\t');
        if (tab == 0 || tab == std::string_view::npos || line.find('\t', tab + 1) != std::string_view::npos) {
            error = "line " + std::to_string(number) + " is not a key and a value";
            return {};
        }
        metadata->AddMetadataValueForKey(Kernel::String(line.substr(0, tab)), Kernel::String(line.substr(tab + 1)));
    }
    if (!ended) {
        error = number == 0 ? std::string("the file is empty") : "\"end\" is missing after line " + std::to_string(number);
        return {};
    }
    return metadata;
}

// ---- File items ---------------------------------------------------------------------------

bool RegressionFileStoreItem::Load(const Kernel::String& path) {
    m_loadError.clear();
    if (!Kernel::FileSystem::Exists(path)) return false;
    if (!ReadFileContent(path, m_loadError)) {
        if (m_loadError.empty()) m_loadError = "the file is damaged";
        return false;
    }
    return true;
}

bool RegressionFileStoreItem::ReadFileContent(const Kernel::String& path, std::string& error) {
    std::string data;
    Kernel::FileSystem::ReadError readError;
    if (!Kernel::FileSystem::ReadFile(path, data, GetFileSizeLimit(), &readError)) {
        error = "the file can't be read: " + readError.reason;
        return false;
    }
    return ReadContent(std::move(data), error);
}

bool RegressionFileStoreItem::Save(const Kernel::String& path) const {
    std::string reason;
    return Save(path, reason);
}

bool RegressionFileStoreItem::Save(const Kernel::String& path, std::string& reason) const {
    std::string data;
    if (!WriteContent(data)) {
        reason = "there is nothing to save";
        return false;
    }
    return EngineFaults::SaveFile(path.ToStd(), data, reason);
}

bool RegressionBaselineFileStoreItem::ReadFileContent(const Kernel::String& path, std::string& error) {
    Kernel::FileSystem::ReadError readError;
    const Kernel::Counted<Kernel::ReadOnlyFile> file = Kernel::ReadOnlyFile::Open(path, GetFileSizeLimit(), &readError);
    if (!file) {
        error = "the file can't be read: " + readError.reason;
        return false;
    }
    m_content = RegressionBaseline::Deserialise(file, error);
    return bool(m_content);
}

bool RegressionBaselineFileStoreItem::ReadContent(std::string data, std::string& error) {
    m_content = RegressionBaseline::Deserialise(std::make_shared<const std::string>(std::move(data)), error);
    return bool(m_content);
}

bool RegressionBaselineFileStoreItem::WriteContent(std::string& data) const {
    if (!m_content) return false;
    data = m_content->Serialise();
    return true;
}

bool RegressionMetadataFileStoreItem::ReadContent(std::string data, std::string& error) {
    m_content = RegressionMetadata::Deserialise(data, error);
    return bool(m_content);
}

bool RegressionMetadataFileStoreItem::WriteContent(std::string& data) const {
    if (!m_content) return false;
    data = m_content->Serialise();
    return true;
}
