#include "bitmapcheck/ColourTransformCache.h"

#include "Kernel/Format.h"
#include "Kernel/Trace.h"

ColourTransformCache& GetColourTransformCache() {
    static ColourTransformCache* cache = new ColourTransformCache;  // outlives every export
    return *cache;
}

void ReleaseColourTransformCacheEntry(ColourTransformCacheEntry& entry) {
    entry.m_destinationProfile.Reset();
    entry.m_sourceProfile.Reset();
}

void* GetColourTransformForType(Raster::ICCManager& manager, const Kernel::Counted<Raster::ICCProfile>& source,
                                const Kernel::Counted<Raster::ICCProfile>& destination, Raster::Intent intent,
                                uint8_t blackPointCompensation, uint32_t (*sourcePixelType)(),
                                bool sameProfileYieldsNone) {
    if (!destination) return nullptr;
    if (!source) return nullptr;
    if (sameProfileYieldsNone && source.Get() == destination.Get()) return nullptr;

    ColourTransformCache& cache = GetColourTransformCache();
    os_unfair_lock_lock(&cache.m_lock);
    struct Unlock {
        os_unfair_lock* lock;
        ~Unlock() { os_unfair_lock_unlock(lock); }
    } unlock{&cache.m_lock};

    for (const ColourTransformCacheEntry& e : cache.m_entries) {
        if (e.m_sourceProfile.Get() == source.Get() && e.m_destinationProfile.Get() == destination.Get() &&
            e.m_sourcePixelType == sourcePixelType() && e.m_destinationPixelType == Raster::ICCManager::_TYPE_RGBA_8() &&
            e.m_intent == intent && e.m_blackPointCompensation == blackPointCompensation)
            return e.m_transform;
    }

    const uint32_t sourceType = sourcePixelType();
    const uint32_t destinationType = Raster::ICCManager::_TYPE_RGBA_8();
    void* transform = manager.CreateTransform(source->GetHandle(), sourceType, destination->GetHandle(),
                                              destinationType, Raster::ICCManager::ICCIntentFromIntent(intent),
                                              uint32_t(blackPointCompensation) << 13);
    if (!transform)
        Kernel::Trace(Kernel::Format("Colour engine failed to create transform between %1 and %2\r\n",
                                     {Kernel::String(Kernel::EscapeForMessage(source->GetName().View())),
                                      Kernel::String(Kernel::EscapeForMessage(destination->GetName().View()))})
                          .c_str());

    ColourTransformCacheEntry entry;
    entry.m_sourceProfile = source;
    entry.m_destinationProfile = destination;
    entry.m_sourcePixelType = sourceType;
    entry.m_destinationPixelType = destinationType;
    entry.m_transform = transform;
    entry.m_intent = intent;
    entry.m_blackPointCompensation = blackPointCompensation;
    try {
        cache.m_entries.push_back(entry);
    } catch (...) {
        ReleaseColourTransformCacheEntry(entry);
        throw;
    }
    return transform;
}
