#include "SpreadCodec.h"

#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "DocumentEngine.h"
#include "Kernel/Dispatch.h"
#include "Kernel/OutOfMemory.h"
#include "Kernel/PerThread.h"
#include "Raster/Tile.h"
#include "RegressionStore.h"

namespace {

// Where a bitmap's samples of one row of one channel plane start inside its raster tile.
size_t RowOffset(const DocEngine::FormatInfo& format, int y) {
    return size_t(y % 256) * size_t(format.TileWidth()) * size_t(format.bytesPerSample);
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
    static const Kernel::PerThread<inflate_state> inflaters("the state of a baseline inflater");
    inflate_state& kept = inflaters.Get();  // not zeroed: the init below sets what inflating reads
    isal_inflate_init(&kept);
    kept.crc_flag = wrapper;
    return &kept;
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
// The layout is in SpreadCodec.h. From 1 MiB, so that even the planes of a 1000 x 1000 page, a
// band each, inflate at once: one thread takes several milliseconds over such a spread, longer
// than the rest of its comparison.
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
