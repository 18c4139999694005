// Planar bitmaps of the raster library: one plane per channel, delayed loading, mipmap
// levels, host and hardware caches, and the format-tagged handle renders are held by.
#pragma once
#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "Kernel/Counted.h"
#include "Kernel/Rect.h"
#include "Raster/Channels.h"
#include "Raster/Region.h"

namespace Raster {

// A compute device of the hardware renderer; this build has none unless a test sets one.
class HardwareDevice {
public:
    explicit HardwareDevice(int language = 0) : m_language(language) {}
    int GetKernelLanguage() const { return m_language; }

private:
    int m_language;
};

struct DefaultImplementation {};

template <class Implementation>
class Hardware {
public:
    static HardwareDevice* GetDevice() { return s_device.load(std::memory_order_acquire); }
    static void SetDevice(HardwareDevice* device) { s_device.store(device, std::memory_order_release); }
    static void IncrementFailedKernels(HardwareDevice*) { s_failed.fetch_add(1, std::memory_order_relaxed); }
    static uint64_t GetFailedKernels() { return s_failed.load(std::memory_order_relaxed); }
    // Whether there is a compute device to render with.
    static bool GetHardwarePossible() { return GetDevice() != nullptr; }
    static void SetMultiGPUEnabled(bool enabled) { s_multiGPU.store(enabled, std::memory_order_relaxed); }
    static bool GetMultiGPUEnabled() { return s_multiGPU.load(std::memory_order_relaxed); }

private:
    static inline std::atomic<bool> s_multiGPU{true};
    static inline std::atomic<HardwareDevice*> s_device{nullptr};
    static inline std::atomic<uint64_t> s_failed{0};
};

// Whether a hardware kernel may run over the rectangle; never in this build.
inline bool ShouldExecuteKernel(const Kernel::RectT<int>&) { return false; }
inline int GetKernelLanguage(HardwareDevice* device) { return device ? device->GetKernelLanguage() : 0; }

// One reduced copy of a bitmap: level L is smaller by 2 to the power L.
class BitmapBase;
struct MipmapLevel {
    bool valid = false;
    Kernel::RectT<int> dirty;  // area changed since the level was last brought up to date
    Kernel::Counted<BitmapBase> bitmap;
};

// The tuple of owned planes of a layout's real channels.
template <class L, class Seq>
struct PlaneTupleOf;
template <class L, size_t... I>
struct PlaneTupleOf<L, std::index_sequence<I...>> {
    using type = std::tuple<std::unique_ptr<Plane<typename L::template Channel<I>>>...>;
};

// What all layouts share. Calls that the kernels make are recorded in order so that tests
// can see them; a hook may act on them (for instance raise a cancel flag). The record is per
// bitmap rather than in the document engine's call log: the raster library sits below the
// document library, and its calls come per spread and per run, far too many for that log.
class BitmapBase : public Kernel::Countable {
public:
    using CallHook = std::function<void(const char* call, bool* cancel)>;

    BitmapBase(int width, int height) : m_width(width), m_height(height) {}

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }

    // Delayed loading.
    bool IsPendingDelayLoad() const { return m_pendingLoad; }
    void ForceDelayLoad(bool* cancel) const;
    void SetPendingDelayLoad(bool pending) { m_pendingLoad = pending; }

    // Mipmaps. Levels are numbered from 1; the bitmap itself is level 0.
    bool KeepsMipmaps() const { return m_keepsMipmaps; }
    int GetMipmapMode() const { return m_mipmapMode; }
    void SetMipmapMode(int mode) { m_mipmapMode = mode; }
    std::map<int, MipmapLevel>& GetMipmapLevels() const { return m_levels; }
    // Starts keeping levels 1 to count, none of them valid yet.
    void KeepMipmaps(int count, int mode);
    // Brings level up to date (0: every level) from the full-size pixels.
    void UpdateMipmaps(int level, bool* cancel) const;
    Kernel::Counted<BitmapBase> GetMipmapBase(int level) const;

    // Host and hardware copies.
    void SyncHostCache(const Kernel::RectT<int>* rect, bool, bool* cancel) const;
    void InvalidateHardwareCache(const Kernel::RectT<int>& rect) const;
    HardwareDevice* GetHardwareDevice() const { return m_device; }
    void SetHardwareDevice(HardwareDevice* device) { m_device = device; }

    void SetCallHook(CallHook hook) { m_hook = std::move(hook); }
    std::vector<std::string> GetCalls() const;
    void ClearCalls();

    // A new bitmap of the same layout and size with this one's pixels; tiles never written
    // stay unwritten. Mipmaps, caches and devices are not carried over.
    virtual Kernel::Counted<BitmapBase> MakeCopy() const = 0;
    // Makes tile row toRow of a bitmap of the same layout and width, never written, show this
    // bitmap's tile row fromRow without a copy: each tile there shows this one's pixels until it
    // is first written, when it takes a copy. Only while this bitmap's tiles are not written; it
    // lives as long as a tile shows its pixels.
    virtual void ShowTileRow(int fromRow, BitmapBase& to, int toRow) const = 0;
    // Bytes of the tile buffers the bitmap has made (tiles never written share theirs).
    virtual uint64_t GetTileBufferBytes() const = 0;

protected:
    // A new bitmap of the same layout holding level's reduction of this one.
    virtual Kernel::Counted<BitmapBase> MakeReduced(int level) const = 0;
    void Record(const std::string& call, bool* cancel) const;

private:
    int m_width;
    int m_height;
    mutable bool m_pendingLoad = false;
    bool m_keepsMipmaps = false;
    int m_mipmapMode = 0;
    mutable std::map<int, MipmapLevel> m_levels;
    HardwareDevice* m_device = nullptr;
    CallHook m_hook;
    mutable std::mutex m_callsMutex;
    mutable std::vector<std::string> m_calls;
};

// A loan of bytes of a bitmap's tile to a tile of another, which keeps the bitmap alive and
// copies the bytes before it writes them.
Kernel::Counted<TileLoan> LendPixels(const BitmapBase& owner, const uint8_t* bytes);

template <class C0, class C1, class C2, class C3, class C4>
class Bitmap : public BitmapBase {
public:
    using LayoutType = Layout<C0, C1, C2, C3, C4>;
    using Sample = typename LayoutType::Sample;
    using PixelType = Pixel<C0, C1, C2, C3, C4>;
    template <size_t I>
    using Channel = typename LayoutType::template Channel<I>;
    static constexpr int kChannelCount = LayoutType::kChannelCount;
    static constexpr int kTileWidth = LayoutType::kTileWidth;

    Bitmap(int width, int height, RegionDefault value = kDefaultClear)
        : BitmapBase(width < 0 ? 0 : width, height < 0 ? 0 : height),
          m_planes(MakePlanes(std::make_index_sequence<kChannelCount>(), GetWidth(), GetHeight(), value)) {}

    template <size_t I>
    Plane<Channel<I>>& GetPlane() const {
        return *std::get<I>(m_planes);
    }

    Kernel::Counted<Bitmap> GetMipmap(int level) const {
        Kernel::Counted<BitmapBase> b = GetMipmapBase(level);
        return Kernel::Counted<Bitmap>(static_cast<Bitmap*>(b.Get()));
    }

    // Engine-side pixel access, for whoever fills or inspects a bitmap outside the kernels.
    Sample GetSample(int channel, int x, int y) const {
        Sample v{};
        Visit(channel, [&](auto& plane) {
            Tile* t = plane.TileAt(x / kTileWidth, y / Tile::kRows, false);
            v = reinterpret_cast<const Sample*>(t->GetConstBuffer())[Offset(x, y)];
        });
        return v;
    }
    void SetSample(int channel, int x, int y, Sample v) {
        Visit(channel, [&](auto& plane) {
            Tile* t = plane.TileAt(x / kTileWidth, y / Tile::kRows, true);
            reinterpret_cast<Sample*>(t->GetMutableBuffer())[Offset(x, y)] = v;
        });
    }
    PixelType GetPixel(int x, int y) const {
        PixelType p;
        for (int c = 0; c < kChannelCount; ++c) p.c[c] = GetSample(c, x, y);
        return p;
    }
    void SetPixel(int x, int y, const PixelType& p) {
        for (int c = 0; c < kChannelCount; ++c) SetSample(c, x, y, p.c[c]);
    }
    void Fill(const PixelType& p) { FillRect({0, 0, GetWidth(), GetHeight()}, p); }
    void FillRect(Kernel::RectT<int> r, const PixelType& p) {
        if (r.left < 0) r.left = 0;
        if (r.top < 0) r.top = 0;
        if (r.right > GetWidth()) r.right = GetWidth();
        if (r.bottom > GetHeight()) r.bottom = GetHeight();
        if (r.left >= r.right || r.top >= r.bottom) return;
        for (int c = 0; c < kChannelCount; ++c) {
            Visit(c, [&](auto& plane) {
                for (int ty = r.top / Tile::kRows; ty <= (r.bottom - 1) / Tile::kRows; ++ty)
                    for (int tx = r.left / kTileWidth; tx <= (r.right - 1) / kTileWidth; ++tx) {
                        Sample* buf = reinterpret_cast<Sample*>(plane.TileAt(tx, ty, true)->GetMutableBuffer());
                        int y0 = std::max(r.top, ty * Tile::kRows), y1 = std::min(r.bottom, (ty + 1) * Tile::kRows);
                        int x0 = std::max(r.left, tx * kTileWidth), x1 = std::min(r.right, (tx + 1) * kTileWidth);
                        for (int y = y0; y < y1; ++y)
                            for (int x = x0; x < x1; ++x) buf[Offset(x, y)] = p.c[c];
                    }
            });
        }
    }

    Kernel::Counted<BitmapBase> MakeCopy() const override {
        auto copy = Kernel::MakeCounted<Bitmap>(GetWidth(), GetHeight(), GetPlane<0>().root->m_default);
        CopyPlanes(*copy, std::make_index_sequence<kChannelCount>());
        return Kernel::Counted<BitmapBase>(copy.Get());
    }

    void ShowTileRow(int fromRow, BitmapBase& to, int toRow) const override {
        ShowRowOfPlanes(fromRow, static_cast<Bitmap&>(to), toRow, std::make_index_sequence<kChannelCount>());
    }

    uint64_t GetTileBufferBytes() const override {
        uint64_t bytes = 0;
        for (int c = 0; c < kChannelCount; ++c)
            Visit(c, [&](auto& plane) {
                for (int row = 0; row < plane.grid.bottom; ++row)
                    for (int column = 0; column < plane.grid.right; ++column)
                        if (plane.TileAt(column, row, false)->HasOwnBuffer()) bytes += Tile::kBytes;
            });
        return bytes;
    }

protected:
    Kernel::Counted<BitmapBase> MakeReduced(int level) const override {
        // Point sampling: level pixel (x, y) is the full-size pixel (x << level, y << level).
        int w = int((int64_t(GetWidth()) + (int64_t(1) << level) - 1) >> level);
        int h = int((int64_t(GetHeight()) + (int64_t(1) << level) - 1) >> level);
        auto reduced = Kernel::MakeCounted<Bitmap>(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) reduced->SetPixel(x, y, GetPixel(x << level, y << level));
        return Kernel::Counted<BitmapBase>(reduced.Get());
    }

private:
    using Planes = typename PlaneTupleOf<LayoutType, std::make_index_sequence<kChannelCount>>::type;
    template <size_t... I>
    static Planes MakePlanes(std::index_sequence<I...>, int w, int h, RegionDefault value) {
        return Planes(std::unique_ptr<Plane<Channel<I>>>(new Plane<Channel<I>>(w, h, value))...);
    }
    template <size_t... I>
    void CopyPlanes(Bitmap& copy, std::index_sequence<I...>) const {
        auto copyPlane = [](auto& from, auto& to) {
            for (int row = 0; row < from.grid.bottom; ++row)
                for (int column = 0; column < from.grid.right; ++column) {
                    const Tile* tile = from.TileAt(column, row, false);
                    if (tile->HasOwnBuffer())
                        std::memcpy(to.TileAt(column, row, true)->GetMutableBuffer(), tile->GetConstBuffer(), Tile::kBytes);
                }
        };
        (copyPlane(*std::get<I>(m_planes), *std::get<I>(copy.m_planes)), ...);
    }
    template <size_t... I>
    void ShowRowOfPlanes(int fromRow, Bitmap& to, int toRow, std::index_sequence<I...>) const {
        auto showRow = [&](auto& from, auto& into) {
            if (fromRow < 0 || fromRow >= from.grid.bottom || toRow < 0 || toRow >= into.grid.bottom) return;
            const int columns = std::min(from.grid.right, into.grid.right);
            for (int column = 0; column < columns; ++column) {
                const Tile* tile = from.TileAt(column, fromRow, false);
                Tile* shown = into.TileAt(column, toRow, true);
                // Content never written is shared already: only pixels of a tile's own are lent.
                if (tile->HasOwnBuffer()) shown->Lend(LendPixels(*this, tile->GetConstBuffer()));
                else shown->SetDefaultContent(tile->GetConstBuffer());
            }
        };
        (showRow(*std::get<I>(m_planes), *std::get<I>(to.m_planes)), ...);
    }
    template <class F>
    void Visit(int channel, F&& f) const {
        VisitImpl(channel, f, std::make_index_sequence<kChannelCount>());
    }
    template <class F, size_t... I>
    void VisitImpl(int channel, F& f, std::index_sequence<I...>) const {
        ((int(I) == channel ? f(*std::get<I>(m_planes)) : void()), ...);
    }
    static size_t Offset(int x, int y) { return size_t(y % Tile::kRows) * kTileWidth + size_t(x % kTileWidth); }

    Planes m_planes;
};

// The layouts the engine gives each format code; codes without one have no bitmap.
template <Format F>
struct LayoutForFormat {
    using type = void;
};
template <> struct LayoutForFormat<kFormatRGBA8> { using type = Bitmap<Red8, Green8, Blue8, Alpha8, X5>; };
template <> struct LayoutForFormat<kFormatRGBA16> { using type = Bitmap<Red16, Green16, Blue16, Alpha16, X5>; };
template <> struct LayoutForFormat<kFormatI8A8> { using type = Bitmap<Intensity8, Alpha8, X3, X4, X5>; };
template <> struct LayoutForFormat<kFormatI16A16> { using type = Bitmap<Intensity16, Alpha16, X3, X4, X5>; };
template <> struct LayoutForFormat<kFormatCMYKA8> { using type = Bitmap<Cyan8, Magenta8, Yellow8, Black8, Alpha8>; };
template <> struct LayoutForFormat<kFormatLabA16> {
    using type = Bitmap<Lightness16, AOpponent16, BOpponent16, Alpha16, X5>;
};
template <> struct LayoutForFormat<kFormatA8> { using type = Bitmap<Alpha8, X2, X3, X4, X5>; };
template <> struct LayoutForFormat<kFormatA16> { using type = Bitmap<Alpha16, X2, X3, X4, X5>; };
template <> struct LayoutForFormat<kFormatRGBAF> { using type = Bitmap<RedUF, GreenUF, BlueUF, AlphaF, X5>; };
template <> struct LayoutForFormat<kFormatAF> { using type = Bitmap<AlphaF, X2, X3, X4, X5>; };

template <Format F>
using BitmapForFormat = typename LayoutForFormat<F>::type;

// The counted, format-tagged handle to a typed bitmap. Copies share the bitmap.
class DynamicBitmap {
public:
    DynamicBitmap() = default;
    DynamicBitmap(Format format, Kernel::Counted<BitmapBase> bitmap) : m_format(format), m_bitmap(std::move(bitmap)) {}
    // A handle that keeps a planar charge for as long as it or a copy of it lives.
    DynamicBitmap(Format format, Kernel::Counted<BitmapBase> bitmap, std::shared_ptr<const PlanarCharge> charge)
        : m_format(format), m_bitmap(std::move(bitmap)), m_charge(std::move(charge)) {}

    // A new bitmap of the format's layout, or a null handle for a format without one.
    static DynamicBitmap Create(Format format, int width, int height, RegionDefault value = kDefaultClear);

    bool IsNull() const { return !m_bitmap; }
    explicit operator bool() const { return bool(m_bitmap); }
    Format GetFormat() const { return m_format; }
    int GetWidth() const;
    int GetHeight() const;
    BitmapBase* GetBitmap() const { return m_bitmap.Get(); }
    // A bitmap of its own with the same format, size and pixels; null for a null handle.
    DynamicBitmap Copy() const { return m_bitmap ? DynamicBitmap(m_format, m_bitmap->MakeCopy()) : DynamicBitmap(); }

    // The typed bitmap, when this handle's format has layout B.
    template <class B>
    B* As() const {
        return HasLayout<B>() ? static_cast<B*>(m_bitmap.Get()) : nullptr;
    }

private:
    template <class B>
    bool HasLayout() const {
        switch (m_format) {
        case kFormatRGBA8: return std::is_same_v<B, BitmapForFormat<kFormatRGBA8>>;
        case kFormatRGBA16: return std::is_same_v<B, BitmapForFormat<kFormatRGBA16>>;
        case kFormatI8A8: return std::is_same_v<B, BitmapForFormat<kFormatI8A8>>;
        case kFormatI16A16: return std::is_same_v<B, BitmapForFormat<kFormatI16A16>>;
        case kFormatCMYKA8: return std::is_same_v<B, BitmapForFormat<kFormatCMYKA8>>;
        case kFormatLabA16: return std::is_same_v<B, BitmapForFormat<kFormatLabA16>>;
        case kFormatA8: return std::is_same_v<B, BitmapForFormat<kFormatA8>>;
        case kFormatA16: return std::is_same_v<B, BitmapForFormat<kFormatA16>>;
        case kFormatRGBAF: return std::is_same_v<B, BitmapForFormat<kFormatRGBAF>>;
        case kFormatAF: return std::is_same_v<B, BitmapForFormat<kFormatAF>>;
        default: return false;
        }
    }

    Format m_format = kFormatNone;
    Kernel::Counted<BitmapBase> m_bitmap;
    std::shared_ptr<const PlanarCharge> m_charge;
};

}  // namespace Raster
