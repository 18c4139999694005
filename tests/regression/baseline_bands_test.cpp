// Large spreads of baseline files: stored in bands that inflate alone, with an index after
// the one zlib stream that every earlier build reads; loaded whole when the index is damaged.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DocSession/DocumentEngine.h"
#include "DocSession/RegressionStore.h"
#include "Kernel/Dispatch.h"
#include "Raster/Bitmap.h"
#include "Raster/Tile.h"
#include "tests/zlib_test_support.h"

namespace {

struct Shape {
    Raster::Format format;
    int width;
    int height;
    bool banded;  // at least 1 MiB of samples
};

// 4.5, 4.8 and 4.5 MB of samples, with partial tile columns and a short last band; and one
// spread too small for bands.
const Shape kShapes[] = {
    {Raster::kFormatRGBA8, 1100, 1030, true},
    {Raster::kFormatRGBAF, 600, 500, true},
    {Raster::kFormatRGBA16, 700, 800, true},
    {Raster::kFormatI8A8, 300, 200, false},
};

const DocEngine::FormatInfo& FormatOf(const Shape& shape) { return *DocEngine::FindFormat(shape.format); }

size_t RowBytes(const Shape& shape) { return size_t(shape.width) * size_t(FormatOf(shape).bytesPerSample); }

// Planar samples, channel after channel, rows top to bottom: every third tile cell all zeros,
// smooth runs that compress well and noise that does not.
std::string MakePlanes(const Shape& shape, uint32_t seed) {
    const DocEngine::FormatInfo& format = FormatOf(shape);
    const size_t rowBytes = RowBytes(shape);
    std::string planes(size_t(format.channels) * rowBytes * size_t(shape.height), '\0');
    uint32_t noise = seed;
    for (int c = 0; c < format.channels; ++c)
        for (int y = 0; y < shape.height; ++y) {
            char* row = planes.data() + (size_t(c) * size_t(shape.height) + size_t(y)) * rowBytes;
            for (size_t b = 0; b < rowBytes; ++b) {
                if ((b / 256 + size_t(y / 256) + size_t(c)) % 3 == 0) continue;
                noise = noise * 1664525u + 1013904223u;
                row[b] = y < shape.height / 2 ? char(noise >> 24) : char((b / 7 + size_t(y) / 3) & 0xff);
            }
        }
    return planes;
}

// A bitmap holding the planes; all-zero cells keep the shared clear tile.
Raster::DynamicBitmap BitmapOf(const Shape& shape, const std::string& planes) {
    const DocEngine::FormatInfo& format = FormatOf(shape);
    Raster::DynamicBitmap bitmap = Raster::DynamicBitmap::Create(shape.format, shape.width, shape.height);
    const size_t rowBytes = RowBytes(shape);
    auto row = [&](int c, int y, size_t column) {
        return planes.data() + (size_t(c) * size_t(shape.height) + size_t(y)) * rowBytes + column * 256;
    };
    for (int c = 0; c < format.channels; ++c)
        for (int top = 0; top < shape.height; top += 256)
            for (size_t column = 0; column * 256 < rowBytes; ++column) {
                const size_t n = std::min<size_t>(256, rowBytes - column * 256);
                const int bottom = std::min(shape.height, top + 256);
                bool zero = true;
                for (int y = top; zero && y < bottom; ++y)
                    zero = std::all_of(row(c, y, column), row(c, y, column) + n, [](char v) { return v == 0; });
                if (zero) continue;
                uint8_t* buffer = DocEngine::BitmapTile(bitmap, c, int(column), top / 256, true)->GetMutableBuffer();
                for (int y = top; y < bottom; ++y) std::memcpy(buffer + size_t(y - top) * 256, row(c, y, column), n);
            }
    return bitmap;
}

// The bitmap's samples as planes, and which of its cells have tiles of their own.
std::string PlanesOf(const Raster::DynamicBitmap& bitmap, const Shape& shape, std::vector<bool>* ownTiles = nullptr) {
    const DocEngine::FormatInfo& format = FormatOf(shape);
    const size_t rowBytes = RowBytes(shape);
    std::string planes(size_t(format.channels) * rowBytes * size_t(shape.height), '\0');
    for (int c = 0; c < format.channels; ++c)
        for (int y = 0; y < shape.height; ++y)
            for (size_t column = 0; column * 256 < rowBytes; ++column) {
                const Raster::Tile* tile = DocEngine::BitmapTile(bitmap, c, int(column), y / 256, false);
                if (!tile) return {};
                if (ownTiles && y % 256 == 0) ownTiles->push_back(tile->HasOwnBuffer());
                std::memcpy(planes.data() + (size_t(c) * size_t(shape.height) + size_t(y)) * rowBytes + column * 256,
                            tile->GetConstBuffer() + size_t(y % 256) * 256, std::min<size_t>(256, rowBytes - column * 256));
            }
    return planes;
}

std::string Compress2(const std::string& planes) {
    uLongf length = compressBound(uLong(planes.size()));
    std::string out(length, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(planes.data()),
                        uLong(planes.size()), Z_DEFAULT_COMPRESSION),
              Z_OK);
    out.resize(length);
    return out;
}


uint64_t Little(std::string_view bytes, size_t at, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | uint8_t(bytes[at + size_t(i)]);
    return value;
}

void PutLittle(std::string& bytes, size_t at, uint64_t value, int count) {
    for (int i = 0; i < count; ++i) bytes[at + size_t(i)] = char(value >> (8 * i));
}

// The index at the end of a banded spread's bytes: per band its end offset and Adler-32, then
// the band count and "QVBANDS1".
struct Index {
    size_t count = 0;
    size_t at = 0;  // of the first entry
    size_t End(std::string_view bytes, size_t band) const { return size_t(Little(bytes, at + 12 * band, 8)); }
    uint32_t Adler(std::string_view bytes, size_t band) const { return uint32_t(Little(bytes, at + 12 * band + 8, 4)); }
};

Index IndexOf(std::string_view bytes) {
    Index index;
    if (bytes.size() < 12 || bytes.substr(bytes.size() - 8) != "QVBANDS1") return index;
    index.count = size_t(Little(bytes, bytes.size() - 12, 4));
    if (12 * index.count + 12 > bytes.size()) return {};
    index.at = bytes.size() - 12 - 12 * index.count;
    return index;
}

struct Parallelism {
    explicit Parallelism(unsigned threads) { Kernel::Dispatch::SetParallelism(threads); }
    ~Parallelism() { Kernel::Dispatch::SetParallelism(0); }
};

class BaselineBands : public testing::Test {
protected:
    void SetUp() override {
        for (size_t i = 0; i < std::size(kShapes); ++i) m_planes.push_back(MakePlanes(kShapes[i], uint32_t(i + 1)));
    }

    // A baseline of every shape as a spread of the main render (with a spread without pixels),
    // the first two again as the post-redo render; spreads made by make.
    Kernel::Counted<RegressionBaseline> MakeBaseline(
        const std::function<Kernel::Counted<StoredSpread>(const Shape&, const std::string&)>& make) const {
        std::vector<Kernel::Counted<StoredSpread>> main, redo;
        for (size_t i = 0; i < std::size(kShapes); ++i) main.push_back(make(kShapes[i], m_planes[i]));
        main.push_back({});
        for (size_t i = 0; i < 2; ++i) redo.push_back(make(kShapes[i], m_planes[i]));
        return Kernel::MakeCounted<RegressionBaseline>(false, Kernel::MakeCounted<RegressionRender>(std::move(main)),
                                                       Kernel::MakeCounted<RegressionRender>(std::move(redo)),
                                                       std::vector<Kernel::Counted<RegressionRender>>());
    }
    static Kernel::Counted<StoredSpread> FromPlanes(const Shape& shape, const std::string& planes) {
        return StoredSpread::FromBitmap(BitmapOf(shape, planes));
    }
    static Kernel::Counted<StoredSpread> AsOneStream(const Shape& shape, const std::string& planes) {
        return Kernel::MakeCounted<StoredSpread>(shape.format, shape.width, shape.height, uint64_t(planes.size()),
                                                 Compress2(planes));
    }

    // Where spread `spread` of the main render starts in a file, and its line.
    static size_t SpreadBytes(const std::string& data, size_t spread, size_t* line = nullptr) {
        size_t at = data.find("\nspread ");
        for (size_t i = 0; i < spread; ++i) {
            const size_t end = data.find('\n', at + 1);
            std::string words = data.substr(at + 1, end - at - 1);
            const size_t length = std::stoull(words.substr(words.rfind(' ') + 1));
            at = end + length + 1;
        }
        if (line) *line = at + 1;
        return data.find('\n', at + 1) + 1;
    }

    // Every spread of the main render read back has exactly the samples it was made from.
    void ExpectSamples(const Kernel::Counted<RegressionBaseline>& read, const std::string& what) const {
        ASSERT_TRUE(read) << what;
        for (size_t i = 0; i < std::size(kShapes); ++i)
            EXPECT_TRUE(PlanesOf(read->GetRender()->GetSpreadBitmap(i), kShapes[i]) == m_planes[i]) << what << ", spread " << i;
    }

    std::vector<std::string> m_planes;
};

TEST_F(BaselineBands, SpreadsReadBackExactlyWithTheirEmptyCellsOnAnyNumberOfThreads) {
    const std::string data = MakeBaseline(&FromPlanes)->Serialise();
    for (unsigned threads : {1u, 8u}) {
        Parallelism parallelism(threads);
        Raster::MemoryManager& memory = Raster::MemoryManager::Instance();
        const uint64_t planar = memory.GetPlanarUsage();
        std::string error;
        Kernel::Counted<RegressionBaseline> read = RegressionBaseline::Deserialise(data, error);
        ASSERT_TRUE(read) << error;
        EXPECT_EQ(read->Serialise(), data);
        for (const auto* render : {read->GetRender().Get(), read->GetPostRedoRender().Get()})
            for (size_t i = 0; i < render->GetSpreadCount() && i < std::size(kShapes); ++i) {
                const Raster::DynamicBitmap held = render->GetSpreadBitmap(i);
                std::vector<bool> own, made;
                EXPECT_TRUE(PlanesOf(held, kShapes[i], &own) == m_planes[i]) << i << " on " << threads;
                PlanesOf(BitmapOf(kShapes[i], m_planes[i]), kShapes[i], &made);
                EXPECT_EQ(own, made) << i << " on " << threads;
                EXPECT_EQ(memory.GetPlanarUsage() - planar,
                          uint64_t(std::count(own.begin(), own.end(), true)) * Raster::Tile::kBytes)
                    << i << " on " << threads;
            }
        EXPECT_FALSE(read->GetRender()->GetSpreadBitmap(std::size(kShapes)));
        EXPECT_EQ(memory.GetPlanarUsage(), planar);  // the kept bitmaps are the store's memory
        EXPECT_EQ(read->Serialise(), data);
        // Kept until released: then the next read inflates anew, and a handle out keeps its own.
        for (const auto* render : {read->GetRender().Get(), read->GetPostRedoRender().Get()}) {
            std::vector<Raster::DynamicBitmap> held;
            for (size_t i = 0; i < render->GetSpreadCount() && i < std::size(kShapes); ++i) {
                held.push_back(render->GetSpreadBitmap(i));
                EXPECT_EQ(render->GetSpreadBitmap(i).GetBitmap(), held[i].GetBitmap()) << i << " on " << threads;
            }
            render->ReleaseSpreadBitmaps();
            for (size_t i = 0; i < held.size(); ++i) {
                const Raster::DynamicBitmap again = render->GetSpreadBitmap(i);
                EXPECT_NE(again.GetBitmap(), held[i].GetBitmap()) << i << " on " << threads;
                EXPECT_TRUE(PlanesOf(again, kShapes[i]) == m_planes[i]) << i << " on " << threads;
            }
        }
    }
}

// What earlier builds read: one zlib stream of exactly the planes, the index after its end;
// a small spread exactly as compress2 makes it. The bands of a large one inflate alone.
TEST_F(BaselineBands, SpreadBytesAreOneZlibStreamWhoseBandsInflateAlone) {
    for (size_t i = 0; i < std::size(kShapes); ++i) {
        const Shape& shape = kShapes[i];
        const Kernel::Counted<StoredSpread> spread = FromPlanes(shape, m_planes[i]);
        ASSERT_TRUE(spread);
        const std::string_view bytes = spread->GetCompressed();
        size_t after = 0;
        EXPECT_TRUE(zlib_test::Inflate(bytes, 15, 65536, &after) == m_planes[i]) << i;
        const Index index = IndexOf(bytes);
        if (!shape.banded) {
            EXPECT_EQ(after, 0u) << i;
            EXPECT_TRUE(bytes == Compress2(m_planes[i])) << i;
            EXPECT_EQ(index.count, 0u) << i;
            continue;
        }
        // Whole tile rows of one plane, at least 1 MiB each but the last of a plane.
        const uint64_t tileRowBytes = RowBytes(shape) * 256;
        const size_t rows = size_t((uint64_t(1 << 20) + tileRowBytes - 1) / tileRowBytes) * 256;
        const size_t perPlane = (size_t(shape.height) + rows - 1) / rows;
        ASSERT_EQ(index.count, perPlane * size_t(FormatOf(shape).channels)) << i;
        EXPECT_EQ(after, 12 * index.count + 12) << i;
        EXPECT_EQ(bytes.substr(0, 2), std::string_view("\x78\x9c", 2)) << i;
        size_t begin = 2, raw = 0;
        for (size_t band = 0; band < index.count; ++band) {
            const size_t end = index.End(bytes, band);
            ASSERT_GT(end, begin) << i << " band " << band;
            const size_t length = std::min(rows, size_t(shape.height) - band % perPlane * rows) * RowBytes(shape);
            const std::string expected = m_planes[i].substr(raw, length);
            // A band but the last is a stream that never ends: add a final empty block to end it.
            std::string alone(bytes.substr(begin, end - begin));
            if (band + 1 < index.count) alone += std::string("\x03\x00", 2);
            EXPECT_TRUE(zlib_test::Inflate(alone, -15, 65536, &after) == expected) << i << " band " << band;
            EXPECT_EQ(after, 0u) << i << " band " << band;
            EXPECT_EQ(index.Adler(bytes, band),
                      adler32(1, reinterpret_cast<const Bytef*>(expected.data()), uInt(expected.size())))
                << i << " band " << band;
            begin = end;
            raw += length;
        }
        EXPECT_EQ(raw, m_planes[i].size()) << i;
        EXPECT_EQ(begin + 4, index.at) << i;  // the stream's Adler-32, then the index
    }
}

// The rule's edge, read from the file: a spread of exactly 1 MiB of samples is stored in bands,
// one a row or a column smaller as the one stream compress2 makes.
TEST_F(BaselineBands, BandedFromExactlyOneMebibyteOfSamples) {
    struct Edge {
        Shape shape;
        size_t bands;
    };
    const Edge edges[] = {
        {{Raster::kFormatRGBA8, 512, 512, true}, 4},  // a plane smaller than a band is one
        {{Raster::kFormatRGBA8, 512, 511, false}, 0},
        {{Raster::kFormatRGBA8, 511, 512, false}, 0},
        {{Raster::kFormatI8A8, 1024, 512, true}, 2},
        {{Raster::kFormatI8A8, 1024, 511, false}, 0},
        {{Raster::kFormatRGBA8, 1000, 1000, true}, 4},  // the mid-size page: 3.8 MiB
        {{Raster::kFormatI8A8, 2048, 1024, true}, 4},   // two bands of two tile rows a plane
    };
    std::vector<std::string> planes;
    std::vector<Kernel::Counted<StoredSpread>> spreads;
    for (const Edge& edge : edges) {
        planes.emplace_back(size_t(FormatOf(edge.shape).channels) * RowBytes(edge.shape) * size_t(edge.shape.height), 'q');
        spreads.push_back(FromPlanes(edge.shape, planes.back()));
    }
    const std::string data = RegressionBaseline(false, Kernel::MakeCounted<RegressionRender>(std::move(spreads)), {}, {})
                                 .Serialise();
    for (size_t i = 0; i < std::size(edges); ++i) {
        size_t line = 0;
        const size_t start = SpreadBytes(data, i, &line);
        const std::string words = data.substr(line, start - 1 - line);
        const std::string_view bytes = std::string_view(data).substr(start, std::stoull(words.substr(words.rfind(' ') + 1)));
        EXPECT_EQ(IndexOf(bytes).count, edges[i].bands) << words;
        if (edges[i].bands == 0) {
            EXPECT_TRUE(bytes == Compress2(planes[i])) << words;
        }
    }
}

TEST_F(BaselineBands, SpreadsWrittenAsOneStreamStillLoad) {
    const std::string data = MakeBaseline(&AsOneStream)->Serialise();
    for (unsigned threads : {1u, 8u}) {
        Parallelism parallelism(threads);
        std::string error;
        ExpectSamples(RegressionBaseline::Deserialise(data, error), error);
    }
}

// An index that does not fit leaves the stream to decide: the same pixels load.
TEST_F(BaselineBands, ADamagedIndexLoadsTheSamePixelsFromTheWholeStream) {
    const std::string data = MakeBaseline(&FromPlanes)->Serialise();
    const size_t start = SpreadBytes(data, 0);
    const size_t length = FromPlanes(kShapes[0], m_planes[0])->GetCompressed().size();
    const Index index = IndexOf(std::string_view(data).substr(start, length));
    ASSERT_GE(index.count, 4u);
    const size_t entries = start + index.at, count = start + length - 12;
    auto end = [&](size_t band) { return entries + 12 * band; };
    struct Edit {
        const char* what;
        std::function<void(std::string&)> apply;
    };
    const Edit edits[] = {
        {"an offset far past the bytes", [&](std::string& d) { PutLittle(d, end(1), uint64_t(1) << 62, 8); }},
        {"an offset past the stream", [&](std::string& d) { PutLittle(d, end(index.count - 1), length, 8); }},
        {"the last band short of the trailer",
         [&](std::string& d) { PutLittle(d, end(index.count - 1), Little(d, end(index.count - 1), 8) - 1, 8); }},
        {"offsets out of order", [&](std::string& d) { PutLittle(d, end(2), Little(d, end(0), 8), 8); }},
        {"a boundary moved back", [&](std::string& d) { PutLittle(d, end(1), Little(d, end(1), 8) - 3, 8); }},
        {"a boundary moved on", [&](std::string& d) { PutLittle(d, end(2), Little(d, end(2), 8) + 3, 8); }},
        {"the first band inside the header", [&](std::string& d) { PutLittle(d, end(0), 1, 8); }},
        {"one band more", [&](std::string& d) { PutLittle(d, count, index.count + 1, 4); }},
        {"one band less", [&](std::string& d) { PutLittle(d, count, index.count - 1, 4); }},
        {"no bands", [&](std::string& d) { PutLittle(d, count, 0, 4); }},
        {"a count past the bytes", [&](std::string& d) { PutLittle(d, count, 0xffffffffu, 4); }},
        {"a band's Adler-32", [&](std::string& d) { d[end(2) + 8] = char(d[end(2) + 8] ^ 0x10); }},
        {"the last band's Adler-32", [&](std::string& d) { d[end(index.count - 1) + 11] ^= 0x01; }},
        {"the mark", [&](std::string& d) { d[start + length - 1] = '2'; }},
    };
    for (const Edit& edit : edits) {
        std::string damaged = data;
        edit.apply(damaged);
        ASSERT_NE(damaged, data) << edit.what;
        for (unsigned threads : {1u, 8u}) {
            Parallelism parallelism(threads);
            std::string error;
            ExpectSamples(RegressionBaseline::Deserialise(damaged, error), std::string(edit.what) + ": " + error);
        }
    }
}

// Damage to the pixels themselves is refused when they are asked for, named by the spread's line,
// whichever band holds it; the other spreads read.
TEST_F(BaselineBands, ADamagedBandIsRefused) {
    const std::string data = MakeBaseline(&FromPlanes)->Serialise();
    for (size_t spread : {0u, 2u}) {
        size_t line = 0;
        const size_t start = SpreadBytes(data, spread, &line);
        const size_t length = FromPlanes(kShapes[spread], m_planes[spread])->GetCompressed().size();
        const Index index = IndexOf(std::string_view(data).substr(start, length));
        ASSERT_GE(index.count, 2u);
        const std::string_view bytes = std::string_view(data).substr(start, length);
        struct Damage {
            const char* what;
            size_t at;  // within the spread's bytes
        };
        const Damage damages[] = {
            {"the first band", 2 + (index.End(bytes, 0) - 2) / 2},
            {"a middle band", (index.End(bytes, index.count / 2 - 1) + index.End(bytes, index.count / 2)) / 2},
            {"the last band", (index.End(bytes, index.count - 2) + index.End(bytes, index.count - 1)) / 2},
            {"the stream's Adler-32", index.End(bytes, index.count - 1) + 1},
            {"the zlib header", 1},
        };
        for (const Damage& damage : damages) {
            std::string damaged = data;
            damaged[start + damage.at] = char(damaged[start + damage.at] ^ 0x24);
            std::string error;
            Kernel::Counted<RegressionBaseline> read = RegressionBaseline::Deserialise(damaged, error);
            ASSERT_TRUE(read) << damage.what << ": " << error;
            EXPECT_TRUE(read->GetRender()->GetSpreadBitmap(1 - spread / 2, &error)) << error;
            EXPECT_FALSE(read->GetRender()->GetSpreadBitmap(spread, &error)) << damage.what;
            EXPECT_EQ(error, "damaged at byte " + std::to_string(line) +
                                 ": the compressed pixels do not decompress to the spread's size")
                << spread << ", " << damage.what;
        }
    }
}

}  // namespace
