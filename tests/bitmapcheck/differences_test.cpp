// The difference heat map: its colour ramp and the pixels it writes in every format.
#include <gtest/gtest.h>

#include "bitmap_test_support.h"
#include "bitmapcheck/PixelAccess.h"

using namespace bitmaptest;

namespace {

Raster::PixelRGBA8 Rgba(int r, int g, int b, int a) { return Raster::PixelRGBA8(r, g, b, a); }

void Differences(const Raster::DynamicBitmap& dst, const Raster::DynamicBitmap& src, const Kernel::RectT<int>* rect = nullptr,
                 bool* cancel = nullptr, KernelProgressCallback progress = nullptr, void* context = nullptr) {
    DifferencesParams p;
    p.m_bitsPerChannel = BitsPerChannelForFormat(dst.GetFormat());
    p.m_rect = rect;
    p.m_cancel = cancel;
    p.m_progress = progress;
    p.m_progressContext = context;
    DifferenceBitmapsDispatch(dst, src, &p);
}

// The samples the heat-map colour has in a format, as the engine's dynamic pixel gives them.
Samples InFormat(Raster::Format f, const Raster::PixelRGBA8& colour) {
    Raster::DynamicPixel p;
    p = colour;
    Raster::DynamicBitmap one = Raster::DynamicBitmap::Create(f, 1, 1);
    WithTyped(one, [&](auto* bitmap) {
        bitmap->SetPixel(0, 0, p.Get<typename std::remove_pointer_t<decltype(bitmap)>::PixelType>());
    });
    return GetPixel(one, 0, 0);
}

// Whether a tile of a plane holds pixels of its own.
bool OwnBuffer(const Raster::DynamicBitmap& b, int channel, int column, int row) {
    bool own = false;
    WithTyped(b, [&](auto* bitmap) {
        using B = std::remove_pointer_t<decltype(bitmap)>;
        BitmapKernels::ForEachChannel<B>([&](auto c) {
            if (int(decltype(c)::value) == channel)
                own = bitmap->template GetPlane<decltype(c)::value>().TileAt(column, row, false)->HasOwnBuffer();
        });
    });
    return own;
}

}  // namespace

TEST(DifferenceColour, RampsFromGreenThroughYellowToRed) {
    struct Case {
        int d;
        uint32_t bits;
        Raster::PixelRGBA8 colour;
    };
    const Case cases[] = {
        {1, 8, Rgba(2, 255, 0, 255)},       {127, 8, Rgba(254, 255, 0, 255)},
        {128, 8, Rgba(255, 254, 0, 255)},   {255, 8, Rgba(255, 0, 0, 255)},
        {1, 16, Rgba(0, 255, 0, 255)},      {128, 16, Rgba(0, 255, 0, 255)},
        {129, 16, Rgba(1, 255, 0, 255)},    {32767, 16, Rgba(254, 255, 0, 255)},
        {32768, 16, Rgba(255, 254, 0, 255)}, {65535, 16, Rgba(255, 0, 0, 255)},
        {1, 40, Rgba(2, 255, 0, 255)},      // only bits modulo 32 count
        {7, 32, Rgba(0, 0, 0, 255)},        // no range: black
        {7, 0, Rgba(0, 0, 0, 255)},
        {1000, 8, Rgba(255, 0, 0, 255)},    // beyond the range: clamped, not wrapped
        {INT32_MAX, 16, Rgba(255, 0, 0, 255)},
    };
    for (const Case& c : cases) EXPECT_EQ(DifferenceColour(c.d, c.bits), c.colour) << c.d << " at " << c.bits << " bits";
}

TEST(Differences, PaintsEachPixelByItsLargestChannelDifference) {
    struct Case {
        Raster::Format format;
        Samples base, changed;
        Raster::PixelRGBA8 colour;  // of the changed pixel, before conversion to the format
    };
    const Case cases[] = {
        {Raster::kFormatRGBA8, {10, 20, 30, 255}, {10, 20, 31, 255}, Rgba(2, 255, 0, 255)},
        {Raster::kFormatRGBA8, {10, 20, 30, 255}, {10, 20, 30, 0}, Rgba(255, 0, 0, 255)},
        {Raster::kFormatRGBA16, {100, 100, 100, 100}, {100, 228, 100, 100}, Rgba(0, 255, 0, 255)},
        {Raster::kFormatRGBA16, {100, 100, 100, 100}, {100, 100, 100, 229}, Rgba(1, 255, 0, 255)},
        {Raster::kFormatI8A8, {0, 255}, {255, 255}, Rgba(255, 0, 0, 255)},
        {Raster::kFormatI16A16, {0, 65535}, {32768, 65535}, Rgba(255, 254, 0, 255)},
        {Raster::kFormatCMYKA8, {0, 0, 0, 0, 255}, {0, 0, 0, 1, 255}, Rgba(2, 255, 0, 255)},
        {Raster::kFormatLabA16, {30000, 0, 65535, 65535}, {30000, 128, 65535, 65535}, Rgba(0, 255, 0, 255)},
        {Raster::kFormatRGBAF, {0.5, 0.5, 0.5, 1}, {0.5, 7.5, 0.5, 1}, Rgba(0, 0, 0, 255)},  // always black
        {Raster::kFormatRGBAF, {0.5, 0.5, 0.5, 1}, {1.4, 1.4, 1.4, 0.1}, Rgba(0, 0, 0, 255)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format);
        // Transparent and equal elsewhere: still painted opaque black.
        Raster::DynamicBitmap dst = Filled(c.format, 300, 40, c.base);
        Raster::DynamicBitmap src = Filled(c.format, 300, 40, c.base);
        SetPixel(dst, 40, 2, c.changed);   // read in a span
        SetPixel(dst, 299, 39, c.changed);  // read singly
        Differences(dst, src);
        const Samples painted = InFormat(c.format, c.colour), black = InFormat(c.format, Rgba(0, 0, 0, 255));
        EXPECT_EQ(GetPixel(dst, 40, 2), painted);
        EXPECT_EQ(GetPixel(dst, 299, 39), painted);
        for (auto [x, y] : {std::pair{0, 0}, {41, 2}, {298, 39}, {150, 20}}) EXPECT_EQ(GetPixel(dst, x, y), black) << x;
    }
}

TEST(Differences, DependsOnTheDestinationOnlyThroughTheDifference) {
    Raster::DynamicBitmap src = Filled(Raster::kFormatRGBA8, 64, 4, {100, 100, 100, 100});
    Raster::DynamicBitmap dst = Filled(Raster::kFormatRGBA8, 64, 4, {100, 100, 100, 100});
    SetPixel(dst, 3, 1, {130, 100, 100, 100});
    SetPixel(dst, 40, 1, {70, 100, 100, 100});
    SetPixel(dst, 41, 1, {100, 100, 100, 130});
    Differences(dst, src);
    Samples expected = GetPixel(dst, 3, 1);
    EXPECT_EQ(expected, (Samples{60, 255, 0, 255}));
    EXPECT_EQ(GetPixel(dst, 40, 1), expected);
    EXPECT_EQ(GetPixel(dst, 41, 1), expected);
}

TEST(Differences, WithoutARecordTakesTheFormatsBitsPerChannel) {
    struct Case {
        Raster::Format format;
        Samples base, changed;
        Raster::PixelRGBA8 colour;
    };
    const Case cases[] = {
        {Raster::kFormatRGBA8, {0, 0, 0, 0}, {0, 1, 0, 0}, Rgba(2, 255, 0, 255)},
        {Raster::kFormatI16A16, {0, 0}, {129, 0}, Rgba(1, 255, 0, 255)},
        {Raster::kFormatRGBAF, {0, 0, 0, 0}, {0, 0, 9, 0}, Rgba(0, 0, 0, 255)},
    };
    for (const Case& c : cases) {
        Raster::DynamicBitmap dst = Filled(c.format, 4, 1, c.base), src = Filled(c.format, 4, 1, c.base);
        SetPixel(dst, 2, 0, c.changed);
        DifferenceBitmapsDispatch(dst, src, nullptr);
        EXPECT_EQ(GetPixel(dst, 2, 0), InFormat(c.format, c.colour)) << "format " << c.format;
    }
}

TEST(Differences, WritesOnlyInsideTheRectangle) {
    const Kernel::RectT<int> inside{10, 5, 300, 6}, empty{10, 5, 10, 50};
    for (const Kernel::RectT<int>* rect : {&inside, &empty}) {
        Raster::DynamicBitmap dst = Filled(Raster::kFormatRGBA8, 300, 10, {1, 2, 3, 4});
        Raster::DynamicBitmap src = Filled(Raster::kFormatRGBA8, 300, 10, {1, 2, 3, 4});
        Differences(dst, src, rect);
        const bool ran = rect == &inside;
        EXPECT_EQ(GetPixel(dst, 9, 5), (Samples{1, 2, 3, 4}));
        EXPECT_EQ(GetPixel(dst, 10, 4), (Samples{1, 2, 3, 4}));
        const Samples inArea = ran ? Samples{0, 0, 0, 255} : Samples{1, 2, 3, 4};
        EXPECT_EQ(GetPixel(dst, 10, 5), inArea);
        EXPECT_EQ(GetPixel(dst, 299, 5), inArea);
        EXPECT_EQ(GetPixel(dst, 299, 6), (Samples{1, 2, 3, 4}));
    }
}

TEST(Differences, CancelledRunKeepsTheRowsAlreadyDone) {
    Raster::DynamicBitmap dst = Filled(Raster::kFormatRGBA8, 100, 100, {1, 2, 3, 4});
    Raster::DynamicBitmap src = Filled(Raster::kFormatRGBA8, 100, 100, {1, 2, 3, 4});
    struct Context {
        bool cancel = false;
    } context;
    // A single tile reports after rows 0, 16, ...; cancelling at the report after row 16
    // stops before row 17.
    Differences(dst, src, nullptr, &context.cancel,
                [](void* ctx, float f) {
                    if (f > 0.1f) Raise(&static_cast<Context*>(ctx)->cancel);
                },
                &context);
    EXPECT_EQ(GetPixel(dst, 99, 16), (Samples{0, 0, 0, 255}));
    EXPECT_EQ(GetPixel(dst, 0, 17), (Samples{1, 2, 3, 4}));
}

// A cell of the grid whose pixels all equal the source's is done whole: it reads back opaque
// black, the same samples as the equal pixels of a cell with a difference, from shared content
// with no buffer of its own, and stays charged to the planar account as a written tile would.
// Cells the destination never wrote are charged when the heat map first fills them.
TEST(Differences, AWholeCellOfEqualPixelsIsOpaqueBlackWithNoBufferOfItsOwn) {
    struct Case {
        Raster::Format format;
        Samples paper, changed;
    };
    const Case cases[] = {
        {Raster::kFormatRGBA8, {10, 20, 30, 40}, {10, 20, 31, 40}},
        {Raster::kFormatRGBA16, {1000, 2000, 3000, 4000}, {1000, 2000, 3300, 4000}},
        {Raster::kFormatRGBAF, {0.25, 0.5, 0.75, 0.5}, {0.25, 4.5, 0.75, 0.5}},
        {Raster::kFormatI8A8, {90, 200}, {91, 200}},
        {Raster::kFormatI16A16, {9000, 20000}, {9100, 20000}},
        {Raster::kFormatCMYKA8, {1, 2, 3, 4, 5}, {1, 2, 3, 9, 5}},
        {Raster::kFormatLabA16, {30000, 100, 65535, 9}, {30000, 400, 65535, 9}},
    };
    Raster::MemoryManager& memory = Raster::MemoryManager::Instance();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format);
        int tw = 0, channels = 0;
        WithTyped(Raster::DynamicBitmap::Create(c.format, 1, 1), [&](auto* bitmap) {
            tw = bitmap->kTileWidth;
            channels = bitmap->kChannelCount;
        });
        // Two cells across and a narrow third, two cells down and a short third: 9 cells.
        const int width = 2 * tw + 10, height = 2 * 256 + 20;
        const uint64_t start = memory.GetPlanarUsage();
        {
            Raster::DynamicBitmap dst = Filled(c.format, width, height, c.paper);
            Raster::DynamicBitmap src = Filled(c.format, width, height, c.paper);
            SetPixel(dst, 5, 7, c.changed);  // in cell (0, 0) alone
            const uint64_t written = memory.GetPlanarUsage();
            EXPECT_EQ(written - start, 2u * 9 * uint64_t(channels) * Raster::Tile::kBytes);
            Differences(dst, src);
            EXPECT_EQ(memory.GetPlanarUsage(), written);
            const Samples black = InFormat(c.format, Rgba(0, 0, 0, 255));
            if (c.format == Raster::kFormatRGBA8) {
                EXPECT_EQ(black, (Samples{0, 0, 0, 255}));
            }
            EXPECT_EQ(GetPixel(dst, 6, 7), black);  // an equal pixel beside the difference
            for (auto [x, y] : {std::pair{tw, 0}, {2 * tw + 9, 531}, {0, 256}, {tw - 1, 531}, {2 * tw, 511}})
                EXPECT_EQ(GetPixel(dst, x, y), black) << x << "," << y;
            for (int channel = 0; channel < channels; ++channel) {
                EXPECT_TRUE(OwnBuffer(dst, channel, 0, 0)) << channel;
                EXPECT_FALSE(OwnBuffer(dst, channel, 1, 1)) << channel;
                EXPECT_FALSE(OwnBuffer(dst, channel, 2, 2)) << channel;
            }
        }
        EXPECT_EQ(memory.GetPlanarUsage(), start);
        {
            // Neither bitmap ever written: every cell is equal, and each tile counts once filled.
            Raster::DynamicBitmap dst = Raster::DynamicBitmap::Create(c.format, width, height);
            Raster::DynamicBitmap src = Raster::DynamicBitmap::Create(c.format, width, height);
            Differences(dst, src);
            EXPECT_EQ(memory.GetPlanarUsage() - start, 9u * uint64_t(channels) * Raster::Tile::kBytes);
            EXPECT_EQ(GetPixel(dst, width - 1, height - 1), InFormat(c.format, Rgba(0, 0, 0, 255)));
        }
        EXPECT_EQ(memory.GetPlanarUsage(), start);
    }
}
