#include "Raster/Bitmap.h"

#include "Kernel/OutOfMemory.h"

namespace Raster {

namespace {

std::string RectText(const Kernel::RectT<int>& r) {
    return "{" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + "}";
}

class PixelLoan final : public TileLoan {
public:
    PixelLoan(const BitmapBase& owner, const uint8_t* bytes)
        : m_owner(const_cast<BitmapBase*>(&owner)), m_bytes(bytes) {}
    const uint8_t* GetBytes() const override { return m_bytes; }
    uint8_t* TakeForWriting() override { return nullptr; }
    bool CopiesAreScratch() const override { return true; }  // the view is a short-lived one

private:
    Kernel::Counted<BitmapBase> m_owner;
    const uint8_t* m_bytes;
};

}  // namespace

Kernel::Counted<TileLoan> LendPixels(const BitmapBase& owner, const uint8_t* bytes) {
    return Kernel::Counted<TileLoan>(Kernel::Allocating("a loan of a tile's pixels", sizeof(PixelLoan),
                                                        [&] { return new PixelLoan(owner, bytes); }));
}

void BitmapBase::Record(const std::string& call, bool* cancel) const {
    {
        std::lock_guard<std::mutex> lock(m_callsMutex);
        m_calls.push_back(call);
    }
    if (m_hook) m_hook(call.c_str(), cancel);
}

std::vector<std::string> BitmapBase::GetCalls() const {
    std::lock_guard<std::mutex> lock(m_callsMutex);
    return m_calls;
}

void BitmapBase::ClearCalls() {
    std::lock_guard<std::mutex> lock(m_callsMutex);
    m_calls.clear();
}

void BitmapBase::ForceDelayLoad(bool* cancel) const {
    m_pendingLoad = false;
    Record("ForceDelayLoad", cancel);
}

void BitmapBase::KeepMipmaps(int count, int mode) {
    m_keepsMipmaps = true;
    m_mipmapMode = mode;
    for (int level = 1; level <= count; ++level) m_levels[level] = MipmapLevel{};
}

void BitmapBase::UpdateMipmaps(int level, bool* cancel) const {
    Record("UpdateMipmaps(" + std::to_string(level) + ")", cancel);
    for (auto& [l, record] : m_levels) {
        if (l <= 0 || (level != 0 && l != level)) continue;
        if (record.valid && record.dirty.IsEmpty() && record.bitmap) continue;
        if (l > 30) continue;  // a reduction past one pixel of the largest bitmap
        record.bitmap = MakeReduced(l);
        record.valid = true;
        record.dirty = {};
    }
}

Kernel::Counted<BitmapBase> BitmapBase::GetMipmapBase(int level) const {
    Record("GetMipmap(" + std::to_string(level) + ")", nullptr);
    auto it = m_levels.find(level);
    if (it == m_levels.end()) return {};
    return it->second.bitmap;
}

void BitmapBase::SyncHostCache(const Kernel::RectT<int>* rect, bool, bool* cancel) const {
    Record(rect ? "SyncHostCache(" + RectText(*rect) + ")" : std::string("SyncHostCache(all)"), cancel);
}

void BitmapBase::InvalidateHardwareCache(const Kernel::RectT<int>& rect) const {
    Record("InvalidateHardwareCache(" + RectText(rect) + ")", nullptr);
}

DynamicBitmap DynamicBitmap::Create(Format format, int width, int height, RegionDefault value) {
    auto make = [&](auto* tag) {
        using B = std::remove_pointer_t<decltype(tag)>;
        return DynamicBitmap(format, Kernel::Counted<BitmapBase>(new B(width, height, value)));
    };
    switch (format) {
    case kFormatRGBA8: return make(static_cast<BitmapForFormat<kFormatRGBA8>*>(nullptr));
    case kFormatRGBA16: return make(static_cast<BitmapForFormat<kFormatRGBA16>*>(nullptr));
    case kFormatI8A8: return make(static_cast<BitmapForFormat<kFormatI8A8>*>(nullptr));
    case kFormatI16A16: return make(static_cast<BitmapForFormat<kFormatI16A16>*>(nullptr));
    case kFormatCMYKA8: return make(static_cast<BitmapForFormat<kFormatCMYKA8>*>(nullptr));
    case kFormatLabA16: return make(static_cast<BitmapForFormat<kFormatLabA16>*>(nullptr));
    case kFormatA8: return make(static_cast<BitmapForFormat<kFormatA8>*>(nullptr));
    case kFormatA16: return make(static_cast<BitmapForFormat<kFormatA16>*>(nullptr));
    case kFormatRGBAF: return make(static_cast<BitmapForFormat<kFormatRGBAF>*>(nullptr));
    case kFormatAF: return make(static_cast<BitmapForFormat<kFormatAF>*>(nullptr));
    default: return DynamicBitmap();
    }
}

int DynamicBitmap::GetWidth() const {
    if (!m_bitmap || m_format == kFormatNone || m_format > kFormatAF) return 0;
    return m_bitmap->GetWidth();
}

int DynamicBitmap::GetHeight() const {
    if (!m_bitmap || m_format == kFormatNone || m_format > kFormatAF) return 0;
    return m_bitmap->GetHeight();
}

}  // namespace Raster
