// The compare op, the tiled frame it runs in, and the entry's source and destination steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "DocSession/DocumentModel.h"
#include "Kernel/Dispatch.h"
#include "Raster/Tile.h"
#include "bitmap_test_support.h"

using namespace bitmaptest;

namespace {

CompareParams Compare(const Raster::DynamicBitmap& dst, const Raster::DynamicBitmap& src, CompareParams p = {}) {
    CompareBitmapsDispatch(dst, src, &p);
    return p;
}

uint64_t FailedKernels() { return Raster::Hardware<Raster::DefaultImplementation>::GetFailedKernels(); }

// Sample lists equal, NaN matching NaN.
bool Same(const Samples& a, const Samples& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i])))) return false;
    return true;
}

bool HasCall(const Raster::DynamicBitmap& b, const std::string& call) {
    auto calls = b.GetBitmap()->GetCalls();
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

}  // namespace

TEST(Compare, MeasuresTheLargestChannelDifferenceInEveryFormat) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        Raster::Format format;
        Samples base, changed;
        int expected;  // d of the changed pixel; 0: it does not count
    };
    const Case cases[] = {
        {Raster::kFormatRGBA8, {10, 200, 30, 255}, {12, 190, 30, 0}, 255},
        {Raster::kFormatRGBA8, {10, 200, 30, 255}, {10, 200, 30, 254}, 1},  // alpha alone counts
        {Raster::kFormatRGBA16, {0, 0, 0, 0}, {65535, 0, 0, 0}, 65535},
        {Raster::kFormatRGBA16, {40000, 1, 2, 3}, {39999, 1, 2, 3}, 1},
        {Raster::kFormatI8A8, {200, 255}, {0, 250}, 200},
        {Raster::kFormatI16A16, {1000, 65535}, {1000, 0}, 65535},
        {Raster::kFormatCMYKA8, {0, 0, 0, 0, 255}, {0, 0, 0, 77, 255}, 77},
        {Raster::kFormatLabA16, {30000, 0, 32768, 65535}, {30000, 65535, 32768, 65535}, 65535},
        {Raster::kFormatLabA16, {30000, 32768, 32768, 65535}, {30000, 32768, 32760, 65535}, 8},
        {Raster::kFormatRGBAF, {0.2, 0.5, 0, 1}, {0.9, 0.5, 0, 1}, 0},  // below 1.0 is no difference
        {Raster::kFormatRGBAF, {0.2, 0.5, 0, 1}, {0.2, 2.0, 0, 1}, 1},
        {Raster::kFormatRGBAF, {0, 0, 0, 1}, {0, 0, 0, 1000.75}, 999},
        {Raster::kFormatRGBAF, {0, 0, 0, 1}, {0, nan, 0, 1}, INT32_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << " expected " << c.expected);
        // 300 x 260 spans several tiles; (64, 3) is read in a span, (299, 259) singly.
        Raster::DynamicBitmap dst = Filled(c.format, 300, 260, c.base);
        Raster::DynamicBitmap src = Filled(c.format, 300, 260, c.base);
        SetPixel(dst, 64, 3, c.changed);
        SetPixel(src, 299, 259, c.changed);
        CompareParams r = Compare(dst, src);
        EXPECT_EQ(r.m_maxChannelDifference, c.expected);
        EXPECT_EQ(r.m_differingPixels, c.expected ? 2 : 0);
        // Either way round gives the same result, and no pixel changes.
        CompareParams swapped = Compare(src, dst);
        EXPECT_EQ(swapped.m_maxChannelDifference, r.m_maxChannelDifference);
        EXPECT_EQ(swapped.m_differingPixels, r.m_differingPixels);
        EXPECT_TRUE(Same(GetPixel(dst, 64, 3), GetPixel(Filled(c.format, 1, 1, c.changed), 0, 0)));
        EXPECT_TRUE(Same(GetPixel(dst, 299, 259), GetPixel(Filled(c.format, 1, 1, c.base), 0, 0)));
    }
}

TEST(Compare, AccumulatesIntoTheCallersRecord) {
    Raster::DynamicBitmap a = Filled(Raster::kFormatRGBA8, 100, 100, {1, 2, 3, 4});
    Raster::DynamicBitmap b = Filled(Raster::kFormatRGBA8, 100, 100, {1, 2, 3, 4});
    CompareParams preset;
    preset.m_maxChannelDifference = 7;
    preset.m_differingPixels = 3;
    CompareParams equal = Compare(a, b, preset);
    EXPECT_EQ(equal.m_maxChannelDifference, 7);
    EXPECT_EQ(equal.m_differingPixels, 3);
    for (int i = 0; i < 5; ++i) SetPixel(b, 10 * i, i, {1, 2, 3, Samples{0, 1, 2, 8, 0}[i]});
    CompareParams different = Compare(a, b, preset);
    EXPECT_EQ(different.m_maxChannelDifference, 7);  // largest here is 4: never lowered
    EXPECT_EQ(different.m_differingPixels, 8);
}

TEST(Compare, ReportsProgressPerCellOrEverySixteenRowsOfASingleCell) {
    struct Case {
        Raster::Format format;
        int width, height;
        bool context;
        std::vector<float> reports;  // sorted; from workers they come in any order
    };
    const Case cases[] = {
        {Raster::kFormatRGBA8, 100, 50, true, {0.0f, 0.32f, 0.64f, 0.96f}},  // inline: never 1.0
        {Raster::kFormatRGBA8, 100, 50, false, {0.0f, 0.32f, 0.64f, 0.96f}},  // the context is not needed
        {Raster::kFormatRGBAF, 300, 300, true, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f}},
        {Raster::kFormatRGBA8, 600, 50, false, {}},  // several cells report only with a context
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << (c.context ? " with" : " without")
                                        << " context");
        Raster::DynamicBitmap a = Raster::DynamicBitmap::Create(c.format, c.width, c.height);
        Raster::DynamicBitmap b = Raster::DynamicBitmap::Create(c.format, c.width, c.height);
        static ProgressLog* log;
        ProgressLog reports;
        log = &reports;
        CompareParams p;
        p.m_progress = [](void*, float f) { ProgressLog::Callback(log, f); };
        p.m_progressContext = c.context ? &reports : nullptr;
        CompareBitmapsDispatch(a, b, &p);
        std::sort(reports.fractions.begin(), reports.fractions.end());
        ASSERT_EQ(reports.fractions.size(), c.reports.size());
        for (size_t i = 0; i < c.reports.size(); ++i) EXPECT_FLOAT_EQ(reports.fractions[i], c.reports[i]);
    }
}

TEST(Compare, ClipsTheRequestedRectangle) {
    struct Case {
        Kernel::RectT<int> rect;
        int differing;  // of the pixels at x = 5, 10, 49, 50 on row 3
        const char* operated;  // the rectangle the run invalidates; null: no run
    };
    const Case cases[] = {
        {{10, 0, 50, 20}, 2, "{10, 0, 50, 20}"},
        {{50, 0, 10, 20}, 2, "{10, 0, 50, 20}"},    // given right to left
        {{-100, -5, 11, 4}, 2, "{0, 0, 11, 4}"},    // reaches outside on the left
        {{300, 0, 400, 20}, 0, nullptr},            // entirely outside
        {{100, 0, 110, 20}, 0, nullptr},            // only touches the right edge
        {{10, 3, 50, 3}, 0, nullptr},               // empty
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rect.left << "," << c.rect.top << "," << c.rect.right << "," << c.rect.bottom);
        Raster::DynamicBitmap a = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 100, 100);
        Raster::DynamicBitmap b = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 100, 100);
        for (int x : {5, 10, 49, 50}) SetPixel(b, x, 3, {1, 1, 1, 1});
        uint64_t failedBefore = FailedKernels();
        CompareParams p;
        p.m_rect = &c.rect;
        CompareBitmapsDispatch(a, b, &p);
        EXPECT_EQ(p.m_differingPixels, c.differing);
        EXPECT_EQ(p.m_executed, c.operated != nullptr);
        EXPECT_EQ(FailedKernels() - failedBefore, c.operated ? 1u : 0u);  // each real run counts one
        if (c.operated) {
            EXPECT_TRUE(HasCall(a, std::string("InvalidateHardwareCache(") + c.operated + ")"));
        } else {
            EXPECT_TRUE(a.GetBitmap()->GetCalls().empty());
        }
    }
}

TEST(Compare, SyncsCachesAroundTheRun) {
    Raster::DynamicBitmap a = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 40, 30);
    Raster::DynamicBitmap b = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 40, 30);
    Compare(a, b);
    EXPECT_EQ(b.GetBitmap()->GetCalls(), (std::vector<std::string>{"SyncHostCache(all)"}));
    EXPECT_EQ(a.GetBitmap()->GetCalls(),
              (std::vector<std::string>{"SyncHostCache({0, 0, 40, 30})", "InvalidateHardwareCache({0, 0, 40, 30})"}));
}

TEST(Compare, CancelFlagStopsTheRunWhereverItIsRaised) {
    // Raised by the destination's forced load: the entry returns before any run.
    {
        Raster::DynamicBitmap a = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 40, 30);
        Raster::DynamicBitmap b = Filled(Raster::kFormatRGBA8, 40, 30, {1, 1, 1, 1});
        a.GetBitmap()->SetPendingDelayLoad(true);
        a.GetBitmap()->SetCallHook([](const char* call, bool* cancel) {
            if (std::string(call) == "ForceDelayLoad" && cancel) Raise(cancel);
        });
        bool cancel = false;
        CompareParams p;
        p.m_cancel = &cancel;
        uint64_t failedBefore = FailedKernels();
        CompareBitmapsDispatch(a, b, &p);
        EXPECT_EQ(p.m_differingPixels, 0);
        EXPECT_FALSE(p.m_executed);
        EXPECT_EQ(FailedKernels(), failedBefore);
    }
    // Raised while the source's level is brought up to date: the frame starts cancelled, so
    // nothing is counted, synced or compared, and the executed flag stays clear.
    {
        Raster::DynamicBitmap a = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 40, 30);
        Raster::DynamicBitmap b = Filled(Raster::kFormatRGBA8, 40, 30, {1, 1, 1, 1});
        b.GetBitmap()->KeepMipmaps(1, 2);
        b.GetBitmap()->UpdateMipmaps(0, nullptr);
        b.GetBitmap()->ClearCalls();
        b.GetBitmap()->SetCallHook([](const char* call, bool* cancel) {
            if (std::string(call).rfind("UpdateMipmaps", 0) == 0 && cancel) Raise(cancel);
        });
        bool cancel = false;
        CompareParams p;
        p.m_cancel = &cancel;
        uint64_t failedBefore = FailedKernels();
        CompareBitmapsDispatch(a, b, &p);
        EXPECT_EQ(p.m_differingPixels, 0);
        EXPECT_FALSE(p.m_executed);
        EXPECT_EQ(FailedKernels(), failedBefore);
        EXPECT_FALSE(HasCall(b, "SyncHostCache(all)"));
        EXPECT_TRUE(a.GetBitmap()->GetCalls().empty());
    }
    // Raised by the first progress report of a multi-tile run: later tiles are skipped but
    // still report, so 1.0 arrives exactly once, and the hardware cache is left alone.
    {
        Kernel::Dispatch::SetParallelism(1);
        Raster::DynamicBitmap a = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 1024, 512);
        Raster::DynamicBitmap b = Filled(Raster::kFormatRGBA8, 1024, 512, {1, 1, 1, 1});
        struct Context {
            bool cancel = false;
            std::vector<float> reports;
        } context;
        CompareParams p;
        p.m_cancel = &context.cancel;
        p.m_progressContext = &context;
        p.m_progress = [](void* ctx, float f) {
            auto* c = static_cast<Context*>(ctx);
            c->reports.push_back(f);
            Raise(&c->cancel);
        };
        CompareBitmapsDispatch(a, b, &p);
        Kernel::Dispatch::SetParallelism(0);
        EXPECT_EQ(context.reports.size(), 8u);
        EXPECT_EQ(std::count(context.reports.begin(), context.reports.end(), 1.0f), 1);
        EXPECT_EQ(p.m_differingPixels, 256 * 256);  // only the first tile ran
        EXPECT_TRUE(p.m_executed);
        EXPECT_FALSE(HasCall(a, "InvalidateHardwareCache({0, 0, 1024, 512})"));
    }
}

TEST(Compare, ReadsTheFirstValidMipmapLevelOfTheSource) {
    struct Case {
        std::vector<int> validLevels;
        int usedLevel;  // 0: full size
    };
    const Case cases[] = {{{1, 2}, 1}, {{2, 3}, 2}, {{}, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.usedLevel);
        // The source at full size differs everywhere from the destination; its levels match it.
        Raster::DynamicBitmap dst = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 64, 64);
        Raster::DynamicBitmap src = Filled(Raster::kFormatRGBA8, 64, 64, {9, 9, 9, 9});
        Raster::BitmapBase* s = src.GetBitmap();
        s->KeepMipmaps(3, 0);
        for (auto& [l, record] : s->GetMipmapLevels()) {
            record.bitmap = Kernel::Counted<Raster::BitmapBase>(new RGBA8((64 >> l) + 1, (64 >> l) + 1));
            record.valid = std::count(c.validLevels.begin(), c.validLevels.end(), l) > 0;
        }
        bool keepsMipmaps = false;
        CompareParams p;
        p.m_mipmapFlag = &keepsMipmaps;
        CompareBitmapsDispatch(dst, src, &p);
        EXPECT_TRUE(keepsMipmaps);
        if (c.usedLevel == 0) {
            EXPECT_EQ(p.m_differingPixels, 64 * 64);
            continue;
        }
        EXPECT_EQ(p.m_differingPixels, 0);
        // One level pixel stands for a block of 2^L x 2^L destination pixels, sampled at centres.
        auto level = static_cast<RGBA8*>(s->GetMipmapLevels()[c.usedLevel].bitmap.Get());
        level->SetPixel(3, 2, {0, 0, 50, 0});
        CompareParams q = Compare(dst, src);
        int side = 1 << c.usedLevel;
        EXPECT_EQ(q.m_differingPixels, side * side);
        EXPECT_EQ(q.m_maxChannelDifference, 50);
        SetPixel(dst, 3 * side, 2 * side, {0, 0, 50, 0});
        SetPixel(dst, 4 * side - 1, 3 * side - 1, {0, 0, 50, 0});
        EXPECT_EQ(Compare(dst, src).m_differingPixels, side * side - 2);
    }
}

TEST(Compare, ForcesTheSourcesDelayedLoadUnlessToldNotTo) {
    for (bool skip : {false, true}) {
        Raster::DynamicBitmap a = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 8, 8);
        Raster::DynamicBitmap b = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 8, 8);
        b.GetBitmap()->SetPendingDelayLoad(true);
        CompareParams p;
        p.m_skipDelayedLoad = skip;
        CompareBitmapsDispatch(a, b, &p);
        EXPECT_EQ(HasCall(b, "ForceDelayLoad"), !skip);
        EXPECT_EQ(b.GetBitmap()->IsPendingDelayLoad(), skip);
        EXPECT_TRUE(p.m_executed);
    }
}

TEST(Compare, KeepsTheDestinationsMipmapsCurrent) {
    struct Case {
        int mode;
        Kernel::RectT<int> rect;
        Kernel::RectT<int> dirtyBefore, dirtyAfter;
        bool validAfter;
        bool updated;
    };
    const Case cases[] = {
        {0, {0, 0, 50, 50}, {}, {}, true, false},                                // mode 0: untouched
        {2, {0, 15, 12, 40}, {10, 10, 20, 20}, {0, 10, 20, 40}, false, false},   // widened
        {4, {0, 15, 12, 40}, {}, {0, 15, 12, 40}, false, false},                 // taken unchanged
        {2, {5, 5, 5, 9}, {10, 10, 20, 20}, {10, 10, 20, 20}, false, false},     // empty: only invalid
        {1, {0, 0, 50, 50}, {}, {}, true, true},                                 // brought up to date
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode);
        Raster::DynamicBitmap a = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 50, 50);
        Raster::DynamicBitmap b = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 50, 50);
        a.GetBitmap()->KeepMipmaps(2, c.mode);
        a.GetBitmap()->UpdateMipmaps(0, nullptr);
        for (auto& [l, record] : a.GetBitmap()->GetMipmapLevels()) record.dirty = c.dirtyBefore;
        a.GetBitmap()->ClearCalls();
        CompareParams p;
        p.m_rect = &c.rect;
        CompareBitmapsDispatch(a, b, &p);
        for (auto& [l, record] : a.GetBitmap()->GetMipmapLevels()) {
            EXPECT_EQ(record.dirty, c.dirtyAfter) << l;
            EXPECT_EQ(record.valid, c.validAfter) << l;
        }
        EXPECT_EQ(HasCall(a, "UpdateMipmaps(0)"), c.updated);
    }
}

TEST(Compare, LeavesBitmapsItCannotReadAlone) {
    // Formats without a kernel, and pairs whose formats differ.
    struct Case {
        Raster::Format dst, src;
    };
    const Case cases[] = {{6, 6}, {7, 7}, {10, 10}, {0, 1}, {9, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dst << " vs " << c.src);
        Raster::DynamicBitmap a = Raster::DynamicBitmap::Create(c.dst, 20, 20);
        Raster::DynamicBitmap b = Raster::DynamicBitmap::Create(c.src, 20, 20, Raster::kDefaultFull);
        CompareParams p = Compare(a, b);
        EXPECT_EQ(p.m_differingPixels, 0);
        EXPECT_FALSE(p.m_executed);
        EXPECT_TRUE(a.GetBitmap()->GetCalls().empty());
    }
    // Codes with no layout at all, and null handles.
    Raster::DynamicBitmap odd(11, Kernel::Counted<Raster::BitmapBase>(new RGBA8(4, 4)));
    EXPECT_EQ(odd.GetWidth(), 0);
    EXPECT_EQ(Compare(odd, odd).m_executed, false);
    EXPECT_TRUE(Raster::DynamicBitmap::Create(8, 4, 4).IsNull());
    EXPECT_EQ(Compare(Raster::DynamicBitmap(), Raster::DynamicBitmap()).m_executed, false);
}

TEST(Compare, LeavesASourceOfAnotherSizeAlone) {
    // Read at full size, the source must match the destination pixel for pixel; neither op
    // reads it, and neither the results nor the destination change.
    for (auto [width, height] : {std::pair{100, 80}, {300, 299}, {400, 300}}) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        Raster::DynamicBitmap dst = Filled(Raster::kFormatRGBA16, 300, 300, {5, 5, 5, 5});
        Raster::DynamicBitmap src = Filled(Raster::kFormatRGBA16, width, height, {6, 5, 5, 5});
        CompareParams p = Compare(dst, src);
        EXPECT_EQ(p.m_differingPixels, 0);
        EXPECT_EQ(p.m_maxChannelDifference, 0);
        EXPECT_FALSE(p.m_executed);
        DifferencesParams d;
        d.m_bitsPerChannel = 16;
        DifferenceBitmapsDispatch(dst, src, &d);
        EXPECT_FALSE(d.m_executed);
        for (auto [x, y] : {std::pair{0, 0}, {99, 79}, {299, 299}}) EXPECT_EQ(GetPixel(dst, x, y), (Samples{5, 5, 5, 5}));
    }
}

TEST(Compare, ReadsLentTilesWhereTheyLieAndMakesUnwrittenOnesAsAWriteWould) {
    // Taking a lent block for writing costs its lender two checks of it; a compare never writes.
    struct CountingLoan final : Raster::TileLoan {
        std::vector<uint8_t> bytes;
        int* takes = nullptr;
        const uint8_t* GetBytes() const override { return bytes.data(); }
        uint8_t* TakeForWriting() override { return ++*takes, bytes.data(); }
    };
    const Raster::DynamicBitmap src = Filled(Raster::kFormatRGBA8, 300, 260, {1, 2, 3, 4});
    Raster::DynamicBitmap dst = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 300, 260);
    int takes = 0;
    for (int c = 0; c < 4; ++c) {  // cell (0, 0) of every plane shows the source's samples
        auto loan = Kernel::MakeCounted<CountingLoan>();
        const uint8_t* from = DocEngine::BitmapTile(src, c, 0, 0, false)->GetConstBuffer();
        loan->bytes.assign(from, from + Raster::Tile::kBytes);
        loan->takes = &takes;
        DocEngine::BitmapTile(dst, c, 0, 0, true)->Lend(loan);
    }
    Raster::MemoryManager& memory = Raster::MemoryManager::Instance();
    const uint64_t planar = memory.GetPlanarUsage();
    const CompareParams r = Compare(dst, src);
    EXPECT_EQ(r.m_differingPixels, 300 * 260 - 256 * 256);
    EXPECT_EQ(takes, 0);
    // The three unwritten cells of each plane are made and charged as before, so that the peak
    // a unit records reads the same.
    EXPECT_EQ(memory.GetPlanarUsage() - planar, 12u * Raster::Tile::kBytes);
    // Left lent: the first write takes the block still, in place.
    Raster::Tile* lent = DocEngine::BitmapTile(dst, 2, 0, 0, false);
    const uint8_t* shown = lent->GetConstBuffer();
    EXPECT_EQ(lent->GetMutableBuffer(), shown);
    EXPECT_EQ(takes, 1);
}

TEST(Compare, CountsEveryPixelOfAnEntirelyDifferentPairOnAnyNumberOfThreads) {
    // Every pixel takes the run's lock, from as many threads as the pool has.
    for (unsigned threads : {1u, 2u, 0u}) {  // 0: the pool's own width
        SCOPED_TRACE(testing::Message() << threads << " threads");
        Kernel::Dispatch::SetParallelism(threads);
        const CompareParams r = Compare(Filled(Raster::kFormatRGBA8, 1100, 1030, {10, 20, 30, 40}),
                                        Filled(Raster::kFormatRGBA8, 1100, 1030, {10, 20, 33, 40}));
        EXPECT_EQ(r.m_differingPixels, 1100 * 1030);
        EXPECT_EQ(r.m_maxChannelDifference, 3);
    }
    Kernel::Dispatch::SetParallelism(0);
}
