// Tile lookups in the planes' quadtrees and the accessors built on them.
#include <gtest/gtest.h>

#include "bitmap_test_support.h"
#include "bitmapcheck/PixelAccess.h"

using namespace bitmaptest;
using BitmapKernels::LookupConstTile;
using BitmapKernels::LookupMutableTile;
using Raster::PlanarPixelSpan;
template <class B>
using PixelAccessor = typename Raster::ModelBase<B>::template PixelAccessor<Raster::AllChannels>;
template <class B>
using ConstPixelAccessor =
    typename Raster::ModelBase<B>::template ConstPixelAccessor<Raster::Safe, Raster::IdentityTransform>;
template <class B>
using ScaledConstPixelAccessor = typename Raster::ModelBase<B>::template ConstPixelAccessor<
    Raster::Safe, Raster::ChainedTransform<Raster::IdentityTransform, Raster::ScaleTransform>>;

namespace {

using Plane8 = Raster::Plane<Raster::Red8>;

// A plane of the given size in tiles (8-bit samples: 256 pixels a tile column).
std::unique_ptr<Plane8> PlaneOfTiles(int columns, int rows) {
    return std::make_unique<Plane8>(columns * 256, rows * 256, Raster::kDefaultClear);
}

}  // namespace

TEST(TileLookup, FindsTheTileOfEveryGridShape) {
    struct Case {
        int columns, rows;     // grid
        int column, row;       // cell looked up
        std::vector<int> path; // child slots from the root; empty: the root is the leaf
        size_t entry;          // index in the leaf's tiles
    };
    const Case cases[] = {
        {16, 100, 5, 70, {}, 70 * 16 + 5},  // narrow grids are a single leaf
        {17, 17, 8, 8, {3}, 0},             // right-bottom child {8, 8, 17, 17}
        {17, 17, 7, 7, {0}, 63},            // left-top child {0, 0, 8, 8}
        {40, 20, 25, 3, {1}, 3 * 20 + 5},   // right-top child {20, 0, 40, 10}
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.columns << "x" << c.rows << " (" << c.column << ", " << c.row << ")");
        auto plane = PlaneOfTiles(c.columns, c.rows);
        Raster::Tile* tile = LookupMutableTile(*plane, c.column, c.row);
        Raster::Region<Raster::Red8>* region = plane->root;
        for (int slot : c.path) {
            ASSERT_NE(region->m_children[slot], nullptr);
            region = region->m_children[slot];
        }
        ASSERT_NE(region->m_tiles, nullptr);
        EXPECT_EQ(tile, &region->m_tiles[c.entry]);
        // The lock is never left taken.
        EXPECT_TRUE(os_unfair_lock_trylock(&plane->lock));
        os_unfair_lock_unlock(&plane->lock);
        // A second lookup makes nothing new and finds the same tile; so does the reading lookup.
        Raster::Region<Raster::Red8>* children[4];
        std::copy(std::begin(plane->root->m_children), std::end(plane->root->m_children), children);
        EXPECT_EQ(LookupMutableTile(*plane, c.column, c.row), tile);
        EXPECT_TRUE(std::equal(std::begin(children), std::end(children), std::begin(plane->root->m_children)));
        EXPECT_EQ(LookupConstTile(*plane, plane->grid, c.column, c.row), tile);
    }
}

TEST(TileLookup, MakesMissingRegionsWithTheirParentsDefault) {
    auto plane = std::make_unique<Plane8>(64 * 256, 64 * 256, Raster::kDefaultFull);
    Raster::Tile* tile = LookupMutableTile(*plane, 63, 0);
    // 64 -> 32 -> 16: two levels of right-top children down to a 16 x 16 leaf.
    auto* level1 = plane->root->m_children[1];
    ASSERT_NE(level1, nullptr);
    auto* level2 = level1->m_children[1];
    ASSERT_NE(level2, nullptr);
    EXPECT_EQ(level2->m_default, Raster::kDefaultFull);
    EXPECT_EQ(tile, &level2->m_tiles[15]);
    EXPECT_EQ(plane->root->m_children[0], nullptr);
    EXPECT_EQ(tile->GetConstBuffer()[0], 0xff);  // unwritten content is the default
}

TEST(TileLookup, ReadingAnUnmadeAreaGivesTheDeepestDefaultTile) {
    auto plane = PlaneOfTiles(17, 17);
    LookupMutableTile(*plane, 8, 8);
    Raster::Tile* fallback = LookupConstTile(*plane, plane->grid, 0, 0);
    EXPECT_EQ(fallback, plane->root->GetDefault());
    EXPECT_EQ(plane->root->m_children[0], nullptr);  // reading made nothing

    // An accessor references it like any other tile and gives it back.
    RGBA8 bitmap(17 * 256, 17 * 256);
    Raster::Tile* defaultTile = bitmap.GetPlane<0>().root->GetDefault();
    long before = defaultTile->GetConstRefCount();
    {
        ConstPixelAccessor<RGBA8> reader(bitmap);
        reader.Seek(10, 10);
        EXPECT_EQ(reader.m_current[0], defaultTile);
        EXPECT_EQ(defaultTile->GetConstRefCount(), before + 1);
        EXPECT_EQ(*reader.m_cursors[0], 0);
    }
    EXPECT_EQ(defaultTile->GetConstRefCount(), before);
}

TEST(PixelAccessor, TakesOneReferencePerTileUntilReleased) {
    RGBA8 bitmap(600, 300);
    Raster::Tile* first = bitmap.GetPlane<0>().TileAt(0, 0, false);
    Raster::Tile* second = bitmap.GetPlane<0>().TileAt(1, 0, false);
    PixelAccessor<RGBA8> writer(bitmap);
    writer.Seek(10, 10);
    writer.Seek(20, 200);   // same tile again
    writer.Seek(300, 5);    // next tile
    writer.MoveTo(30, 30);  // back to the first, by a seek
    EXPECT_EQ(first->GetMutableRefCount(), 1);
    EXPECT_EQ(second->GetMutableRefCount(), 1);
    EXPECT_EQ(writer.GetHeldCount(), 8u);  // two tiles in each of four planes
    writer.Release();
    EXPECT_EQ(first->GetMutableRefCount(), 0);
    EXPECT_EQ(second->GetMutableRefCount(), 0);
    EXPECT_EQ(writer.GetValid(), (Kernel::RectT<int>{0, 0, 0, 0}));

    ConstPixelAccessor<RGBA8> reader(bitmap);
    reader.Seek(1, 1);
    reader.Seek(2, 2);
    EXPECT_EQ(first->GetConstRefCount(), 1);
    reader.Release();
    EXPECT_EQ(first->GetConstRefCount(), 0);

    // A row across many tiles, walked back and forth: still one reference a tile.
    RGBA8 wide(256 * 9, 10);
    ConstPixelAccessor<RGBA8> walker(wide);
    for (int pass = 0; pass < 2; ++pass) {
        walker.MoveTo(0, 3);
        for (int x = 1; x < wide.GetWidth(); ++x) walker.Step();
    }
    EXPECT_EQ(walker.GetHeldCount(), 9u * 4u);
    for (int column = 0; column < 9; ++column)
        EXPECT_EQ(wide.GetPlane<3>().TileAt(column, 0, false)->GetConstRefCount(), 1) << column;
    walker.Release();
    for (int column = 0; column < 9; ++column)
        EXPECT_EQ(wide.GetPlane<3>().TileAt(column, 0, false)->GetConstRefCount(), 0) << column;
}

TEST(PixelAccessor, PlacesCursorsByTileAndOffset) {
    struct Case {
        Raster::Format format;
        int x, y;
        int column, row;  // tile
        long offset;      // samples into the tile
    };
    const Case cases[] = {
        {Raster::kFormatRGBA8, 300, 260, 1, 1, 4 * 256 + 44},
        {Raster::kFormatRGBA16, 300, 260, 2, 1, 4 * 128 + 44},
        {Raster::kFormatRGBAF, 300, 260, 4, 1, 4 * 64 + 44},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        Raster::DynamicBitmap b = Raster::DynamicBitmap::Create(c.format, 400, 300);
        SetPixel(b, c.x, c.y, {1, 2, 3, 4});
        auto check = [&](auto* bitmap) {
            using B = std::remove_pointer_t<decltype(bitmap)>;
            PixelAccessor<B> writer(*bitmap);
            writer.Seek(c.x, c.y);
            EXPECT_EQ(writer.m_current[1], bitmap->template GetPlane<1>().TileAt(c.column, c.row, false));
            EXPECT_EQ(writer.m_cursors[1] - writer.m_bases[1], c.offset);
            EXPECT_EQ(double(*writer.m_cursors[2]), 3.0);
        };
        if (c.format == Raster::kFormatRGBA8) check(b.As<RGBA8>());
        if (c.format == Raster::kFormatRGBA16) check(b.As<RGBA16>());
        if (c.format == Raster::kFormatRGBAF) check(b.As<RGBAF>());
    }
}

TEST(PixelAccessor, ValidRectangleIsThePartOfTheTileInsideTheBitmap) {
    RGBA8 bitmap(300, 300);
    ConstPixelAccessor<RGBA8> reader(bitmap);
    reader.Seek(260, 5);
    EXPECT_EQ(reader.GetValid(), (Kernel::RectT<int>{256, 0, 300, 256}));
    reader.Seek(299, 299);
    EXPECT_EQ(reader.GetValid(), (Kernel::RectT<int>{256, 256, 300, 300}));
    // Positions outside the bitmap are refused, not read.
    EXPECT_THROW(reader.Seek(300, 0), std::out_of_range);
    EXPECT_THROW(reader.Seek(0, -1), std::out_of_range);
}

TEST(PixelAccessor, StepsAcrossTilesAndSpansMatchSinglePixels) {
    RGBA16 bitmap(300, 20);
    for (int x = 0; x < 300; ++x)
        for (int c = 0; c < 4; ++c) bitmap.SetSample(c, x, 7, uint16_t(x * 4 + c));
    // Stepping a whole row seeks into the next tile at column 128 and 256.
    ConstPixelAccessor<RGBA16> reader(bitmap);
    reader.MoveTo(0, 7);
    for (int x = 0; x < 300; ++x) {
        ASSERT_EQ(*reader.m_cursors[3], x * 4 + 3) << x;
        if (x + 1 < 300) reader.Step();
    }
    // Span reads: the last span of a tile takes the per-pixel way, others copy; both agree.
    for (int start : {0, 32, 96, 224, 256}) {
        SCOPED_TRACE(start);
        ConstPixelAccessor<RGBA16> spanReader(bitmap);
        spanReader.MoveTo(start, 7);
        PlanarPixelSpan<RGBA16> span;
        spanReader.SpanRead(span);
        EXPECT_EQ(spanReader.GetX(), start + 31);
        for (int i = 0; i < 32; ++i)
            for (int c = 0; c < 4; ++c) ASSERT_EQ(span.m_planes[c][i], (start + i) * 4 + c);
    }
    // The written bitmap's span goes back and forth without changing anything else.
    PixelAccessor<RGBA16> writer(bitmap);
    writer.MoveTo(64, 7);
    PlanarPixelSpan<RGBA16> span;
    writer.SpanRead(span);
    for (auto& s : span.m_planes[0]) s = 9;
    writer.BackStep();
    writer.SpanWrite(span);
    EXPECT_EQ(writer.GetX(), 95);
    writer.Release();
    EXPECT_EQ(bitmap.GetSample(0, 63, 7), 63 * 4);
    EXPECT_EQ(bitmap.GetSample(0, 64, 7), 9);
    EXPECT_EQ(bitmap.GetSample(0, 95, 7), 9);
    EXPECT_EQ(bitmap.GetSample(0, 96, 7), 96 * 4);
    EXPECT_EQ(bitmap.GetSample(1, 64, 7), 64 * 4 + 1);
}

TEST(ScaledAccessor, SamplesTheLevelAtHalfPixelCentres) {
    RGBA8 level(300, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 300; ++x) level.SetSample(0, x, y, uint8_t(x));
    struct Case {
        double scale;
        std::vector<int> expected;  // source columns of destination columns 0, 1, 2, ...
    };
    const Case cases[] = {{0.5, {0, 0, 1, 1, 2, 2, 3}}, {0.25, {0, 0, 0, 0, 1, 1, 1, 1, 2}}};
    for (const Case& c : cases) {
        ScaledConstPixelAccessor<RGBA8> reader(level, {{}, {c.scale, c.scale}});
        reader.MoveTo(0, 2);
        for (size_t x = 0; x < c.expected.size(); ++x) {
            EXPECT_EQ(*reader.Cursors()[0], c.expected[x]) << c.scale << " column " << x;
            reader.Step();
        }
    }
    // A span at destination column 480 reads level columns 240 to 255, two columns each,
    // across the level's tile edge at 256 for the span at 512.
    for (int start : {480, 512}) {
        ScaledConstPixelAccessor<RGBA8> reader(level, {{}, {0.5, 0.5}});
        reader.MoveTo(start, 3);
        PlanarPixelSpan<RGBA8> span;
        reader.SpanRead(span);
        for (int i = 0; i < 32; ++i) ASSERT_EQ(span.m_planes[0][i], uint8_t((start + i) / 2)) << start << "+" << i;
    }
}
