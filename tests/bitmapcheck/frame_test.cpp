// The tiled frame: how an area is cut into cells, how a row is walked, and that the results do
// not depend on how many workers run the cells.
#include <gtest/gtest.h>

#include <atomic>

#include "Kernel/Dispatch.h"
#include "bitmap_test_support.h"
#include "bitmapcheck/RenderFrame.h"

using namespace bitmaptest;
using Rect = Kernel::RectT<int>;

namespace {

// Counts the single pixels and the spans the frame hands to its op.
struct CountingOp {
    using Params = KernelParams;
    static constexpr bool kWritesDestination = false;
    template <class B>
    struct State {
        std::atomic<int> pixels{0};
        std::atomic<int> spans{0};
    };
    template <class B>
    static void Pixel(BitmapKernels::RunRecord<CountingOp, B>& run, typename B::Sample* const*,
                      const typename B::Sample* const*) {
        ++run.m_state.pixels;
    }
    template <class B>
    static void Span(BitmapKernels::RunRecord<CountingOp, B>& run, Raster::PlanarPixelSpan<B>&,
                     const Raster::PlanarPixelSpan<B>&) {
        ++run.m_state.spans;
    }
    template <class B>
    static void SpanInPlace(BitmapKernels::RunRecord<CountingOp, B>& run, typename B::Sample* const*,
                            const typename B::Sample* const*) {
        ++run.m_state.spans;
    }
    template <class B>
    static void EqualSpansInPlace(BitmapKernels::RunRecord<CountingOp, B>& run, typename B::Sample* const*, int n) {
        run.m_state.spans += n / BitmapKernels::kSpan;
    }
};

}  // namespace

TEST(TileSplit, CutsTheAreaIntoCellsOfTheFormatsTileWidth) {
    struct Case {
        int tileWidth;
        Rect area;
        std::vector<Rect> cells;  // in work-item order
    };
    const Case cases[] = {
        {256, {0, 0, 300, 300}, {{0, 0, 256, 256}, {256, 0, 300, 256}, {0, 256, 256, 300}, {256, 256, 300, 300}}},
        {128,
         {0, 0, 300, 300},
         {{0, 0, 128, 256}, {128, 0, 256, 256}, {256, 0, 300, 256},
          {0, 256, 128, 300}, {128, 256, 256, 300}, {256, 256, 300, 300}}},
        {64,
         {0, 0, 300, 300},
         {{0, 0, 64, 256}, {64, 0, 128, 256}, {128, 0, 192, 256}, {192, 0, 256, 256}, {256, 0, 300, 256},
          {0, 256, 64, 300}, {64, 256, 128, 300}, {128, 256, 192, 300}, {192, 256, 256, 300}, {256, 256, 300, 300}}},
        {256, {250, 0, 260, 10}, {{250, 0, 256, 10}, {256, 0, 260, 10}}},  // 10 pixels astride a cell edge
        {128, {128, 256, 256, 512}, {{128, 256, 256, 512}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "tile width " << c.tileWidth << ", area right " << c.area.right);
        const BitmapKernels::TileSplit split = BitmapKernels::SplitRectangle(c.area, c.tileWidth);
        ASSERT_EQ(split.Count(), int64_t(c.cells.size()));
        for (size_t i = 0; i < c.cells.size(); ++i) EXPECT_EQ(split.Tile(c.area, int64_t(i)), c.cells[i]) << i;
    }
}

TEST(RenderFrame, TakesSpansOnlyAtMultiplesOf32WithinARow) {
    struct Case {
        Rect area;
        int pixels, spans;
    };
    const Case cases[] = {
        {{10, 0, 100, 1}, 22 + 4, 2},     // 10..31 singly, 32..95 in two spans, 96..99 singly
        {{0, 0, 300, 1}, 12, 8 + 1},      // the second cell: one span from 256, then 288..299
        {{250, 0, 260, 1}, 10, 0},        // two cells, no whole span in either
        {{64, 2, 96, 4}, 0, 2},           // one span on each of two rows
    };
    for (bool scaled : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << (scaled ? "scaled " : "") << c.area.left << ".." << c.area.right);
            RGBA8 dst(300, 4), src(300, 4);
            KernelParams p;
            p.m_rect = &c.area;
            BitmapKernels::RunRecord<CountingOp, RGBA8> run;
            if (scaled) {
                RGBA8 level(150, 2);
                BitmapKernels::RunFrame<CountingOp, RGBA8>(run, dst, level, &p, BitmapKernels::ScaleForLevel(1),
                                                           KernelWords{});
            } else {
                BitmapKernels::RunFrame<CountingOp, RGBA8>(run, dst, src, &p, Raster::IdentityTransform{},
                                                           KernelWords{});
            }
            EXPECT_EQ(run.m_state.pixels.load(), c.pixels);
            EXPECT_EQ(run.m_state.spans.load(), c.spans);
        }
    }
}

TEST(RenderFrame, GivesTheSameResultsWithAnyNumberOfWorkers) {
    struct Case {
        Raster::Format format;
        Samples base;
    };
    const Case cases[] = {
        {Raster::kFormatRGBA8, {20, 30, 40, 50}},      {Raster::kFormatRGBA16, {20, 30, 40, 50}},
        {Raster::kFormatI8A8, {20, 30}},               {Raster::kFormatI16A16, {20, 30}},
        {Raster::kFormatCMYKA8, {20, 30, 40, 50, 9}},  {Raster::kFormatLabA16, {20, 0x8080, 0x8080, 50}},
        {Raster::kFormatRGBAF, {0.25, 0.5, 0.75, 1.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format);
        // A pair that differs at scattered pixels, in one channel each, by 1 to 200; float
        // differences carry a fraction that the compare drops.
        int expectedCount = 0, expectedMax = 0;
        auto makePair = [&](Raster::DynamicBitmap& dst, Raster::DynamicBitmap& src) {
            dst = Filled(c.format, 700, 600, c.base);
            src = Filled(c.format, 700, 600, c.base);
            expectedCount = expectedMax = 0;
            for (int y = 0; y < 600; y += 7)
                for (int x = (y * 3) % 11; x < 700; x += 11) {
                    const int delta = 1 + (x * y) % 200;
                    Samples changed = c.base;
                    changed[size_t(x + y) % changed.size()] += delta + (c.format == Raster::kFormatRGBAF ? 0.5 : 0.0);
                    SetPixel(x % 2 ? dst : src, x, y, changed);
                    ++expectedCount;
                    expectedMax = std::max(expectedMax, delta);
                }
        };
        std::vector<Raster::DynamicBitmap> heatMaps;
        for (unsigned workers : {1u, 2u, 8u}) {
            SCOPED_TRACE(testing::Message() << workers << " workers");
            Kernel::Dispatch::SetParallelism(workers);
            Raster::DynamicBitmap dst, src;
            makePair(dst, src);
            CompareParams p;
            CompareBitmapsDispatch(dst, src, &p);
            EXPECT_EQ(p.m_differingPixels, expectedCount);
            EXPECT_EQ(p.m_maxChannelDifference, expectedMax);
            DifferencesParams d;
            d.m_bitsPerChannel = BitsPerChannelForFormat(c.format);
            DifferenceBitmapsDispatch(dst, src, &d);
            heatMaps.push_back(dst);
        }
        Kernel::Dispatch::SetParallelism(0);
        for (size_t i = 1; i < heatMaps.size(); ++i) {
            CompareParams same;
            CompareBitmapsDispatch(heatMaps[0], heatMaps[i], &same);
            EXPECT_EQ(same.m_differingPixels, 0) << "heat map " << i;
        }
    }
}
