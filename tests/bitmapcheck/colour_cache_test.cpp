// The colour-transform cache: one transform per key, failures traced once and remembered.
#include <gtest/gtest.h>

#include <thread>

#include "bitmap_test_support.h"
#include "bitmapcheck/ColourTransformCache.h"

using namespace bitmaptest;

namespace {

using Profile = Kernel::Counted<Raster::ICCProfile>;

size_t Entries() {
    ColourTransformCache& cache = GetColourTransformCache();
    os_unfair_lock_lock(&cache.m_lock);
    size_t n = cache.m_entries.size();
    os_unfair_lock_unlock(&cache.m_lock);
    return n;
}

const ColourTransformCacheEntry& Last() { return GetColourTransformCache().m_entries.back(); }

template <class B>
void* Lookup(const Profile& src, const Profile& dst, Raster::Intent intent = 0, uint8_t bpc = 0) {
    return GetColourTransform<B>(Raster::ICCManager::GetInstance(), src, dst, intent, bpc);
}

}  // namespace

TEST(ColourTransformCache, MakesOneTransformPerKey) {
    Profile a = Raster::ICCProfile::CreateSRGB(), b = Raster::ICCProfile::CreateSRGB();
    auto& counters = Raster::ICCManager::GetInstance().GetCounters();
    const size_t before = Entries();
    const uint64_t created = counters.createTransform.load();

    void* first = Lookup<RGBA8>(a, b, Raster::kIntentPerceptual, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Lookup<RGBA8>(a, b, Raster::kIntentPerceptual, 0), first);
    EXPECT_EQ(Entries(), before + 1);
    EXPECT_EQ(counters.createTransform.load(), created + 1);
    EXPECT_EQ(Last().m_sourcePixelType, Raster::ICCManager::_TYPE_RGBA_8());
    EXPECT_EQ(Last().m_destinationPixelType, Raster::ICCManager::_TYPE_RGBA_8());

    struct Case {
        void* (*lookup)(const Profile&, const Profile&, Raster::Intent, uint8_t);
        Raster::Intent intent;
        uint8_t bpc;
    };
    const Case newKeys[] = {
        {&Lookup<RGBA8>, Raster::kIntentPerceptual, 1},          // black point: flags 0x2000
        {&Lookup<RGBA8>, Raster::kIntentRelativeColorimetric, 1},  // intent
        {&Lookup<RGBA16>, Raster::kIntentPerceptual, 0},         // source pixel type
        {&Lookup<RGBAF>, Raster::kIntentPerceptual, 0},
    };
    size_t expected = before + 1;
    for (const Case& c : newKeys) {
        void* t = c.lookup(a, b, c.intent, c.bpc);
        EXPECT_NE(t, nullptr);
        EXPECT_NE(t, first);
        EXPECT_EQ(Entries(), ++expected);
        EXPECT_EQ(Last().m_intent, c.intent);
        EXPECT_EQ(Last().m_blackPointCompensation, c.bpc);
        EXPECT_EQ(counters.lastCreateFlags.load(), c.bpc ? 0x2000u : 0u);
        EXPECT_EQ(counters.lastCreateIntent.load(), Raster::ICCManager::ICCIntentFromIntent(c.intent));
        EXPECT_EQ(c.lookup(a, b, c.intent, c.bpc), t);  // found again, not made again
        EXPECT_EQ(Entries(), expected);
    }
    EXPECT_EQ(counters.createTransform.load(), created + 5);
    // The entries hold the profiles.
    EXPECT_GE(a->GetRefCount(), 6);
}

TEST(ColourTransformCache, NeedsTwoProfiles) {
    Profile a = Raster::ICCProfile::CreateSRGB();
    const size_t before = Entries();
    EXPECT_EQ(Lookup<RGBA8>(a, Profile()), nullptr);
    EXPECT_EQ(Lookup<RGBA16>(Profile(), a), nullptr);
    EXPECT_EQ(Lookup<CMYKA8>(Profile(), Profile()), nullptr);
    // 8-bit RGBA takes a profile to itself as no transform at all; the other formats cache it.
    EXPECT_EQ(Lookup<RGBA8>(a, a), nullptr);
    EXPECT_EQ(Entries(), before);
    EXPECT_NE(Lookup<RGBA16>(a, a), nullptr);
    EXPECT_EQ(Entries(), before + 1);
}

TEST(ColourTransformCache, TracesAFailedPairOnceAndRemembersIt) {
    TraceCapture trace;
    Profile lab = Raster::ICCProfile::CreateLab(), srgb = Raster::ICCProfile::CreateSRGB();
    auto& counters = Raster::ICCManager::GetInstance().GetCounters();
    const uint64_t created = counters.createTransform.load();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Lookup<RGBA8>(lab, srgb), nullptr);  // Lab is not RGB
    EXPECT_EQ(counters.createTransform.load(), created + 1);
    EXPECT_EQ(trace.Lines(), (std::vector<std::string>{
                                 "Colour engine failed to create transform between Lab D50 and sRGB IEC61966-2.1\r\n"}));
    EXPECT_EQ(Last().m_transform, nullptr);
}

TEST(ColourTransformCache, ThreadsAskingForOneNewKeyShareOneEntry) {
    Profile a = Raster::ICCProfile::CreateSRGB(), b = Raster::ICCProfile::CreateSRGB();
    auto& counters = Raster::ICCManager::GetInstance().GetCounters();
    const size_t before = Entries();
    const uint64_t created = counters.createTransform.load();
    std::vector<void*> got(8);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) threads.emplace_back([&, i] { got[i] = Lookup<RGBA16>(a, b); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(Entries(), before + 1);
    EXPECT_EQ(counters.createTransform.load(), created + 1);
    for (void* t : got) EXPECT_EQ(t, got[0]);
    EXPECT_NE(got[0], nullptr);
}
