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
// Raw bytes of a baseline below which its spreads are inflated on the calling thread.
constexpr uint64_t kParallelInflateBytes = uint64_t(1) << 20;

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
int ChunkRows(size_t rowBytes) { return int(std::max<size_t>(1, 65536 / rowBytes)); }

// This thread's inflater of whole zlib streams: ISA-L's, several times faster than zlib's at
// the same work. Its state is large, so it is made once a thread.
inflate_state* StreamInflater() {
    thread_local std::unique_ptr<inflate_state> kept;
    if (!kept)  // not zeroed: the init below sets what inflating reads
        kept.reset(Kernel::Allocating("the state of a baseline inflater", sizeof(inflate_state),
                                      [] { return new inflate_state; }));
    isal_inflate_init(kept.get());
    kept->crc_flag = ISAL_ZLIB;  // the header is read and the Adler-32 at the end checked
    return kept.get();
}

// Inflates into next_out until avail_out is 0 or the stream ends; false on damaged or missing
// bytes. ended tells whether the stream ended, its check found right.
bool InflateSome(inflate_state& state, bool& ended) {
    while (state.avail_out > 0 && state.block_state != ISAL_BLOCK_FINISH) {
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
bool InflateInto(std::string_view compressed, const DocEngine::FormatInfo& format, Raster::DynamicBitmap& bitmap) {
    const int width = bitmap.GetWidth(), height = bitmap.GetHeight();
    if (compressed.size() > UINT32_MAX) return false;
    inflate_state& z = *StreamInflater();
    z.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(compressed.data()));
    z.avail_in = uint32_t(compressed.size());
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
            if (!InflateSome(z, ended) || z.avail_out > 0) return false;
            if (!plane.Place(band.get(), top, rows)) return false;
        }
    }
    if (ended) return true;
    uint8_t extra;
    z.next_out = &extra;
    z.avail_out = 1;
    return InflateSome(z, ended) && ended && z.avail_out == 1;
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
constexpr uint64_t kBandedSpreadBytes = uint64_t(4) << 20;
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
bool ReadBandIndex(std::string_view bytes, const DocEngine::FormatInfo& format, int width, int height,
                   std::vector<BandSpan>& spans) {
    const std::vector<BandRows> bands = BandsOf(format, width, height);
    if (bands.empty()) return false;
    const size_t indexBytes = bands.size() * kBandEntryBytes + kIndexTailBytes;
    if (bytes.size() < 2 + 4 + indexBytes) return false;
    const char* tail = bytes.data() + bytes.size() - kIndexTailBytes;
    if (std::memcmp(tail + 4, kBandMagic, sizeof kBandMagic) != 0 || GetLittleEndian(tail, 4) != bands.size())
        return false;
    // Deflate with a 32 KiB window and no preset dictionary, which the raw inflater of a band assumes.
    const unsigned cmf = uint8_t(bytes[0]), flg = uint8_t(bytes[1]);
    if (cmf != 0x78 || (cmf * 256 + flg) % 31 != 0 || (flg & 0x20) != 0) return false;
    const size_t trailer = bytes.size() - indexBytes - 4;
    const char* entry = bytes.data() + trailer + 4;
    const size_t rowBytes = size_t(width) * size_t(format.bytesPerSample);
    spans.clear();
    size_t begin = 2;
    uLong adler = adler32(0, Z_NULL, 0);
    for (const BandRows& band : bands) {
        const uint64_t end = GetLittleEndian(entry, 8);
        if (end <= begin || end > trailer) return false;
        spans.push_back({band, begin, size_t(end), uint32_t(GetLittleEndian(entry + 8, 4))});
        adler = adler32_combine(adler, spans.back().adler, z_off_t(size_t(band.rows) * rowBytes));
        begin = size_t(end);
        entry += kBandEntryBytes;
    }
    return begin == trailer && GetBigEndian32(bytes.data() + trailer) == adler;
}

// This thread's raw inflater, reset for each band.
z_stream* RawInflater() {
    struct Kept {
        z_stream z{};
        bool made = false;
        ~Kept() {
            if (made) inflateEnd(&z);
        }
    };
    thread_local Kept kept;
    if (!kept.made) {
        const int result = inflateInit2(&kept.z, -15);
        if (result == Z_MEM_ERROR) Kernel::ThrowOutOfMemory("the state of a baseline band's inflater", 7168);
        if (result != Z_OK) return nullptr;
        kept.made = true;
    } else if (inflateReset(&kept.z) != Z_OK) {
        return nullptr;
    }
    return &kept.z;
}

// Inflates one band into its tile rows, alone. True when exactly its byte range gives exactly its
// raw bytes, with the index's Adler-32, and ends the deflate stream if and only if it is the last
// band; any other band must end at a byte-aligned block boundary, as a full flush leaves it.
bool InflateBand(std::string_view bytes, const BandSpan& band, bool last, const DocEngine::FormatInfo& format,
                 Raster::DynamicBitmap& bitmap) {
    if (band.end - band.begin > UINT32_MAX) return false;
    z_stream* z = RawInflater();
    if (!z) return false;
    // A band but the last ends with the flush's empty stored block; its last byte is held back
    // until every sample is out, so that the inflater can be stopped at the boundary after it.
    z->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + band.begin));
    z->avail_in = uInt(band.end - band.begin - (last ? 0 : 1));
    const size_t rowBytes = size_t(bitmap.GetWidth()) * size_t(format.bytesPerSample);
    const int chunkRows = ChunkRows(rowBytes);
    const size_t chunkBytes = size_t(chunkRows) * rowBytes;
    std::unique_ptr<uint8_t[]> chunk(Kernel::Allocating("a chunk of baseline rows being inflated", chunkBytes,
                                                        [chunkBytes] { return new uint8_t[chunkBytes]; }));
    PlaneRows plane(format, bitmap, band.rows.channel);
    uLong adler = adler32(0, Z_NULL, 0);
    bool ended = false;
    const int bottom = band.rows.top + band.rows.rows;
    for (int top = band.rows.top; top < bottom; top += chunkRows) {
        if (ended) return false;
        const int rows = std::min(chunkRows, bottom - top);
        const size_t n = size_t(rows) * rowBytes;
        z->next_out = chunk.get();
        z->avail_out = uInt(n);
        while (z->avail_out > 0) {
            const int result = inflate(z, Z_NO_FLUSH);
            if (result == Z_STREAM_END) {
                ended = true;
                break;
            }
            if (result == Z_MEM_ERROR) Kernel::ThrowOutOfMemory("the window of a baseline band's inflater", 32768);
            if (result != Z_OK) return false;
        }
        if (z->avail_out > 0) return false;
        adler = adler32(adler, chunk.get(), uInt(n));
        if (!plane.Place(chunk.get(), top, rows)) return false;
    }
    if (!ended) {
        // What is left may end the last block and hold the flush's empty block, but no samples.
        uint8_t extra;
        z->next_out = &extra;
        z->avail_out = 1;
        if (last) {
            ended = inflate(z, Z_NO_FLUSH) == Z_STREAM_END;
            if (!ended || z->avail_out != 1) return false;
        } else {
            z->avail_in += 1;
            do {
                if (inflate(z, Z_BLOCK) != Z_OK || z->avail_out != 1) return false;
            } while (z->avail_in > 0);
            // 128 alone: stopped at a block boundary, byte-aligned, outside the stream's last block.
            if (z->data_type != 128) return false;
        }
    }
    return ended == last && z->avail_in == 0 && adler == band.adler;
}

}  // namespace

// What one inflation of a spread's bytes needs between its parts.
struct StoredSpread::InflateWork {
    std::string_view bytes;
    uint64_t rawSize = 0;
    const DocEngine::FormatInfo* format = nullptr;
    Raster::DynamicBitmap bitmap;  // null when the spread's size does not fit its format
    std::vector<BandSpan> bands;   // none: the stream inflates whole, as one part
    std::vector<char> good;        // per part

    void Begin(const StoredSpread& spread) {
        bytes = spread.GetCompressed();
        rawSize = spread.m_rawSize;
        format = DocEngine::FindFormat(spread.m_format);
        if (format && spread.m_rawSize == format->RawBytes(spread.m_width, spread.m_height)) {
            bitmap = Raster::DynamicBitmap::Create(spread.m_format, spread.m_width, spread.m_height);
            if (!ReadBandIndex(bytes, *format, spread.m_width, spread.m_height, bands)) bands.clear();
        }
        good.assign(Parts(), 0);
    }
    size_t Parts() const { return bands.empty() ? 1 : bands.size(); }
    // Raw bytes of a part, for the order parts are taken in.
    uint64_t PartBytes(size_t part) const {
        if (bands.empty()) return rawSize;
        return uint64_t(bands[part].rows.rows) * uint64_t(bitmap.GetWidth()) * uint64_t(format->bytesPerSample);
    }
    void Run(size_t part) {
        if (!bitmap || part >= good.size()) return;
        good[part] = bands.empty() ? InflateInto(bytes, *format, bitmap)
                                   : InflateBand(bytes, bands[part], part + 1 == bands.size(), *format, bitmap);
    }
    // The bitmap, or a null one when the bytes do not inflate to the spread's pixels.
    Raster::DynamicBitmap End() {
        if (!bitmap) return {};
        if (std::find(good.begin(), good.end(), 0) == good.end()) return bitmap;
        if (bands.empty()) return {};
        // A band or the index is at fault: the stream, inflated whole, decides.
        bitmap = Raster::DynamicBitmap::Create(bitmap.GetFormat(), bitmap.GetWidth(), bitmap.GetHeight());
        return InflateInto(bytes, *format, bitmap) ? bitmap : Raster::DynamicBitmap();
    }
};

// ---- Stored spreads -----------------------------------------------------------------------

StoredSpread::StoredSpread(Raster::Format format, int width, int height, uint64_t rawSize, std::string compressed)
    : StoredSpread(format, width, height, rawSize, nullptr, 0, compressed.size()) {
    m_data = std::make_shared<const std::string>(std::move(compressed));
}

StoredSpread::StoredSpread(Raster::Format format, int width, int height, uint64_t rawSize,
                           std::shared_ptr<const std::string> data, size_t offset, size_t length)
    : m_format(format),
      m_width(width),
      m_height(height),
      m_rawSize(rawSize),
      m_data(std::move(data)),
      m_offset(offset),
      m_length(length) {
    Raster::MemoryManager::Instance().AddCompressed(m_length);
}

StoredSpread::~StoredSpread() { Raster::MemoryManager::Instance().RemoveCompressed(m_length); }

std::string_view StoredSpread::GetCompressed() const {
    if (m_data) return std::string_view(*m_data).substr(m_offset, m_length);
    if (!m_bitmap) return {};
    std::lock_guard<std::mutex> lock(m_recompressMutex);
    if (!m_isRecompressed) {
        const Kernel::Counted<StoredSpread> fresh = FromBitmap(m_bitmap);
        if (fresh) m_recompressed = std::string(fresh->GetCompressed());
        m_isRecompressed = true;
    }
    return m_recompressed;
}

void StoredSpread::ReleaseCompressed() {
    if (m_bitmap) m_data.reset();
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

Raster::DynamicBitmap StoredSpread::Decompress() const {
    // The kept bitmap is charged to the planar account while a handle to it is out, just as a
    // bitmap decompressed for the caller would be.
    if (m_bitmap)
        return Raster::DynamicBitmap(m_bitmap.GetFormat(), Kernel::Counted<Raster::BitmapBase>(m_bitmap.GetBitmap()),
                                     std::make_shared<const Raster::PlanarCharge>(m_bitmapBytes));
    return Unpack();
}

Raster::DynamicBitmap StoredSpread::Unpack() const {
    InflateWork work;
    work.Begin(*this);
    Kernel::Dispatch::DispatchParallelFor(
        [](void* context, size_t part) { static_cast<InflateWork*>(context)->Run(part); }, work.Parts(), &work,
        kInflatePriority, kInflatePurpose, 0);
    return work.End();
}

std::vector<uint64_t> StoredSpread::PrepareInflate() {
    m_work = std::make_unique<InflateWork>();
    m_work->Begin(*this);
    std::vector<uint64_t> sizes;
    for (size_t part = 0; part < m_work->Parts(); ++part) sizes.push_back(m_work->PartBytes(part));
    return sizes;
}

void StoredSpread::InflatePart(size_t part) {
    // Kept ahead of use, this is the store's memory until a comparison takes it.
    Raster::MemoryManager::UnaccountedScope unaccounted;
    if (m_work) m_work->Run(part);
}

bool StoredSpread::FinishInflate() {
    {
        Raster::MemoryManager::UnaccountedScope unaccounted;
        m_bitmap = m_work ? m_work->End() : Raster::DynamicBitmap();
    }
    m_work.reset();
    m_bitmapBytes = m_bitmap ? m_bitmap.GetBitmap()->GetTileBufferBytes() : 0;
    return bool(m_bitmap);
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

Raster::DynamicBitmap RegressionRender::GetSpreadBitmap(size_t index) const {
    if (index >= GetSpreadCount()) return {};
    if (!m_isStored) return m_bitmaps[index];
    return m_stored[index] ? m_stored[index]->Decompress() : Raster::DynamicBitmap();
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
    BaselineReader(std::shared_ptr<const std::string> data, std::string& error)
        : m_shared(std::move(data)), m_data(*m_shared), m_error(error) {}

    bool Line(std::string_view& line) {
        size_t end = m_data.find('\n', m_at);
        if (end == std::string::npos || end - m_at > 200) return Fail("a line is cut short or too long");
        line = std::string_view(m_data).substr(m_at, end - m_at);
        m_lineStart = m_at;
        m_at = end + 1;
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
        if (compressed == 0 || compressed > m_data.size() - m_at || m_data.size() - m_at - compressed < 1 ||
            m_data[m_at + compressed] != '\n')
            return Fail("the compressed pixels are cut short");
        spread = Kernel::MakeCounted<StoredSpread>(format->code, int(width), int(height), raw, m_shared, m_at,
                                                   size_t(compressed));
        m_pending.push_back({spread.Get(), m_lineStart, false});
        m_at += compressed + 1;
        return true;
    }

    // Decompresses every spread read, in parallel: everything is checked before the baseline
    // is used, so that a later comparison never meets a damaged spread. The parts of all
    // spreads (the bands of large ones) share one loop, largest first, so that every thread
    // has work until the end whatever mix of sizes the file holds.
    bool InflateSpreads() {
        struct Part {
            StoredSpread* spread;
            size_t index;
            uint64_t bytes;
        };
        std::vector<Part> parts;
        for (const Pending& pending : m_pending) {
            const std::vector<uint64_t> sizes = pending.spread->PrepareInflate();
            for (size_t i = 0; i < sizes.size(); ++i) parts.push_back({pending.spread, i, sizes[i]});
        }
        std::stable_sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) { return a.bytes > b.bytes; });
        uint64_t total = 0;
        for (const Part& part : parts) total += part.bytes;
        // A small baseline takes less time to inflate than the pool takes to wake.
        const bool inParallel = total >= kParallelInflateBytes;
        auto run = [inParallel](Kernel::Dispatch::ParallelWork work, size_t count, void* context) {
            if (inParallel) Kernel::Dispatch::DispatchParallelFor(work, count, context, kInflatePriority, kInflatePurpose, 0);
            else
                for (size_t i = 0; i < count; ++i) work(context, i);
        };
        run(
            [](void* context, size_t i) {
                const Part& part = (*static_cast<std::vector<Part>*>(context))[i];
                part.spread->InflatePart(part.index);
            },
            parts.size(), &parts);
        // Spreads whose bands or index failed inflate again whole here, in parallel too.
        run(
            [](void* context, size_t i) {
                Pending& pending = (*static_cast<std::vector<Pending>*>(context))[i];
                pending.good = pending.spread->FinishInflate();
            },
            m_pending.size(), &m_pending);
        for (const Pending& pending : m_pending)
            if (!pending.good) {
                m_lineStart = pending.lineStart;
                return Fail("the compressed pixels do not decompress to the spread's size");
            }
        return true;
    }

    void ReleaseCompressed() {
        for (const Pending& pending : m_pending) pending.spread->ReleaseCompressed();
    }

    bool Fail(const std::string& why) {
        m_error = "damaged at byte " + std::to_string(m_lineStart) + ": " + why;
        return false;
    }
    bool AtEnd() const { return m_at == m_data.size(); }

private:
    struct Pending {
        StoredSpread* spread;
        size_t lineStart;
        bool good;
    };
    std::shared_ptr<const std::string> m_shared;
    const std::string& m_data;
    std::string& m_error;
    size_t m_at = 0;
    size_t m_lineStart = 0;
    std::vector<Pending> m_pending;
};

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
    if (!reader.InflateSpreads()) return {};
    // The file's bytes go with the last spread that held them: the bitmaps are kept.
    reader.ReleaseCompressed();
    return Kernel::MakeCounted<RegressionBaseline>(perfect, std::move(render), std::move(postRedo),
                                                   std::move(snapshots));
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
    std::string data;
    Kernel::FileSystem::ReadError readError;
    if (!Kernel::FileSystem::ReadFile(path, data, GetFileSizeLimit(), &readError)) {
        m_loadError = "the file can't be read: " + readError.reason;
        return false;
    }
    if (!ReadContent(std::move(data), m_loadError)) {
        if (m_loadError.empty()) m_loadError = "the file is damaged";
        return false;
    }
    return true;
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
