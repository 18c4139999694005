// The process-wide cache of colour transforms used by the converted PNG export: one transform
// per source profile, destination profile, source pixel type, intent and black-point flag.
#pragma once
#include <cstdint>
#include <type_traits>
#include <vector>

#include "Kernel/Counted.h"
#include "Raster/Bitmap.h"
#include "Raster/ICCManager.h"
#include "System/UnfairLock.h"

struct ColourTransformCacheEntry {
    Kernel::Counted<Raster::ICCProfile> m_sourceProfile;
    Kernel::Counted<Raster::ICCProfile> m_destinationProfile;
    uint32_t m_sourcePixelType = 0;
    uint32_t m_destinationPixelType = 0;
    void* m_transform = nullptr;  // null: the colour engine could not join the pair
    Raster::Intent m_intent = 0;  // as the caller gave it
    uint8_t m_blackPointCompensation = 0;
};

// Entries are appended in the order they are made and never removed while the process runs.
struct ColourTransformCache {
    os_unfair_lock m_lock = OS_UNFAIR_LOCK_INIT;
    std::vector<ColourTransformCacheEntry> m_entries;
};

ColourTransformCache& GetColourTransformCache();

// Drops the entry's profile references, destination first.
void ReleaseColourTransformCacheEntry(ColourTransformCacheEntry& entry);

// Finds or makes the transform from the source profile (pixels of the colour engine's type
// sourcePixelType) to the destination profile as 8-bit RGBA. Null for a missing profile, for
// the same profile on both sides when sameProfileYieldsNone, and for a pair the colour engine
// cannot join; such a failure is traced once and remembered.
void* GetColourTransformForType(Raster::ICCManager& manager, const Kernel::Counted<Raster::ICCProfile>& source,
                                const Kernel::Counted<Raster::ICCProfile>& destination, Raster::Intent intent,
                                uint8_t blackPointCompensation, uint32_t (*sourcePixelType)(),
                                bool sameProfileYieldsNone);

// The colour engine's pixel type for the samples of layout B.
template <class B>
uint32_t (*SourcePixelTypeOf())() {
    using namespace Raster;
    if constexpr (std::is_same_v<B, BitmapForFormat<kFormatRGBA8>>) return &ICCManager::_TYPE_RGBA_8;
    else if constexpr (std::is_same_v<B, BitmapForFormat<kFormatRGBA16>>) return &ICCManager::_TYPE_RGBA_16;
    else if constexpr (std::is_same_v<B, BitmapForFormat<kFormatRGBAF>>) return &ICCManager::_TYPE_RGBA_FLT;
    else if constexpr (std::is_same_v<B, BitmapForFormat<kFormatI8A8>>) return &ICCManager::_TYPE_GRAYA_8;
    else if constexpr (std::is_same_v<B, BitmapForFormat<kFormatI16A16>>) return &ICCManager::_TYPE_GRAYA_16;
    else if constexpr (std::is_same_v<B, BitmapForFormat<kFormatCMYKA8>>) return &ICCManager::_TYPE_CMYKA_8;
    else if constexpr (std::is_same_v<B, BitmapForFormat<kFormatLabA16>>) return &ICCManager::_TYPE_LabA_16;
    else static_assert(!sizeof(B), "no colour engine type for this layout");
}

// One member per source layout. Only 8-bit RGBA takes a transform between a profile and
// itself to be no transform at all.
template <class B>
void* GetColourTransform(Raster::ICCManager& manager, const Kernel::Counted<Raster::ICCProfile>& source,
                         const Kernel::Counted<Raster::ICCProfile>& destination, Raster::Intent intent,
                         uint8_t blackPointCompensation) {
    return GetColourTransformForType(manager, source, destination, intent, blackPointCompensation,
                                     SourcePixelTypeOf<B>(),
                                     std::is_same_v<B, Raster::BitmapForFormat<Raster::kFormatRGBA8>>);
}
