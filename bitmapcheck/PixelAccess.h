// Pixel access for the bitmap kernels: tile lookups in a plane's quadtree, accessors that
// hold references on the tiles they touch and keep a cursor per channel, and 32-pixel
// planar spans.
#pragma once
#include <atomic>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "Kernel/OutOfMemory.h"
#include "Kernel/Rect.h"
#include "Raster/Bitmap.h"
#include "System/UnfairLock.h"

namespace BitmapKernels {

constexpr int kSpan = 32;
constexpr int kTileRows = Raster::Tile::kRows;

// A plain read of a flag another thread may raise.
inline bool IsSet(bool* flag) { return flag && std::atomic_ref<bool>(*flag).load(std::memory_order_relaxed); }

template <class B, class F, size_t... I>
inline void ForEachChannelImpl(F& f, std::index_sequence<I...>) {
    (f(std::integral_constant<size_t, I>()), ...);
}
// Calls f with std::integral_constant<size_t, I> for every real channel I of layout B.
template <class B, class F>
inline void ForEachChannel(F&& f) {
    ForEachChannelImpl<B>(f, std::make_index_sequence<B::kChannelCount>());
}

}  // namespace BitmapKernels

namespace Raster {

// 32 consecutive pixels of a row, plane by plane.
template <class B>
struct PlanarPixelSpan {
    typename B::Sample m_planes[B::kChannelCount][BitmapKernels::kSpan];
};

// Transforms from destination to source coordinates.
struct IdentityTransform {};
struct ScaleTransform {
    double m_x = 1.0;
    double m_y = 1.0;
};
// Applies m_first, then m_second. A reduced mipmap level is read through the identity chained
// with the level's scale.
template <class First, class Second>
struct ChainedTransform {
    First m_first{};
    Second m_second{};
};

// The channels a mutable accessor reaches: every real channel of the layout.
struct AllChannels {};
// The access policy that checks every step against the current tile and seeks when it leaves it.
struct Safe {};

// The pixel accessors of layout B (one typed bitmap class per layout).
template <class B>
class ModelBase {
public:
    // The accessor of a bitmap that is written: mutable tile references and buffers.
    template <class Channels>
    class PixelAccessor;
    // The accessor of a bitmap that is read, through a transform from the reader's
    // coordinates to the bitmap's: the identity or a reduced level's scale.
    template <class Policy, class Transform>
    class ConstPixelAccessor;
};

}  // namespace Raster

namespace BitmapKernels {

// Narrows r to the quadrant that holds the tile (column, row) and answers the quadrant's
// child slot: 0 top left, 1 top right, 2 bottom left, 3 bottom right.
inline int QuadrantStep(Kernel::RectT<int>& r, int column, int row) {
    const int mx = (r.left + r.right) >> 1;
    const int my = (r.top + r.bottom) >> 1;
    const int right = column >= mx ? 1 : 0;
    const int bottom = row >= my ? 1 : 0;
    if (right) r.left = mx;
    else r.right = mx;
    if (bottom) r.top = my;
    else r.bottom = my;
    return 2 * bottom + right;
}

// The tile of grid cell (column, row), making the regions missing on its path. Large planes
// are locked for the descent so that two threads never make the same region.
template <class Channel>
Raster::Tile* LookupMutableTile(Raster::Plane<Channel>& plane, int column, int row) {
    using Region = Raster::Region<Channel>;
    constexpr int kLimit = Region::kLeafLimit;
    Kernel::RectT<int> r = plane.grid;
    struct Guard {
        os_unfair_lock* lock;
        ~Guard() {
            if (lock) os_unfair_lock_unlock(lock);
        }
    } guard{nullptr};
    if (r.right - r.left >= kLimit && r.bottom - r.top >= kLimit) {
        os_unfair_lock_lock(&plane.lock);
        guard.lock = &plane.lock;
    }
    Region* region = plane.root;
    while (r.right - r.left >= kLimit && r.bottom - r.top >= kLimit) {
        Region*& child = region->m_children[QuadrantStep(r, column, row)];
        if (!child)
            child = Kernel::Allocating("a region of a bitmap plane", sizeof(Region),
                                       [&] { return new Region(r, region->m_default); });
        region = child;
    }
    return &region->m_tiles[size_t(row - r.top) * size_t(r.right - r.left) + size_t(column - r.left)];
}

// The same descent for reading: nothing is made or locked; where the path ends early the
// default tile of the deepest region on it stands in.
template <class Channel>
Raster::Tile* LookupConstTile(const Raster::Plane<Channel>& plane, Kernel::RectT<int> r, int column, int row) {
    using Region = Raster::Region<Channel>;
    constexpr int kLimit = Region::kLeafLimit;
    const Region* region = plane.root;
    while (r.right - r.left >= kLimit && r.bottom - r.top >= kLimit) {
        const Region* child = region->m_children[QuadrantStep(r, column, row)];
        if (!child) return region->GetDefault();
        region = child;
    }
    return &region->m_tiles[size_t(row - r.top) * size_t(r.right - r.left) + size_t(column - r.left)];
}

// The tiles an accessor has sought onto since its last release, ordered by address, each
// with whether the accessor holds its reference. Between two releases an accessor meets a
// few tiles per channel, which live inline; only a longer list goes to the heap, so the
// kernels' rows allocate nothing.
class TileMap {
public:
    struct Entry {
        Raster::Tile* tile;
        bool held;
    };

    // The tile's entry, inserted with held clear when absent.
    Entry& FindOrInsert(Raster::Tile* tile) {
        Entry* begin = Data();
        Entry* end = begin + m_size;
        Entry* at = begin;
        while (at != end && std::less<Raster::Tile*>()(at->tile, tile)) ++at;
        if (at != end && at->tile == tile) return *at;
        const size_t index = size_t(at - begin);
        if (m_size == kInline) {
            m_spill.assign(m_inline, m_inline + kInline);
            m_spilled = true;
        }
        if (m_spilled) {
            m_spill.insert(m_spill.begin() + std::ptrdiff_t(index), Entry{tile, false});
        } else {
            for (size_t i = m_size; i > index; --i) m_inline[i] = m_inline[i - 1];
            m_inline[index] = Entry{tile, false};
        }
        ++m_size;
        return Data()[index];
    }
    const Entry* begin() const { return m_spilled ? m_spill.data() : m_inline; }
    const Entry* end() const { return begin() + m_size; }
    size_t size() const { return m_size; }
    void clear() noexcept {
        m_size = 0;
        m_spilled = false;
        m_spill.clear();
    }

private:
    static constexpr size_t kInline = 16;
    Entry* Data() { return m_spilled ? m_spill.data() : m_inline; }

    Entry m_inline[kInline];
    std::vector<Entry> m_spill;  // every entry, once there are more than fit inline
    size_t m_size = 0;
    bool m_spilled = false;
};

// What both accessors are made of: cursors into the current tile of every channel of a
// bitmap, and the tiles referenced since the last release. kMutable: the bitmap is written
// (mutable references and buffers).
template <class B, bool kMutable>
class TileAccessor {
public:
    using Sample = typename B::Sample;
    static constexpr int kChannels = B::kChannelCount;
    static constexpr int kTileWidth = B::kTileWidth;
    using SamplePtr = std::conditional_t<kMutable, Sample*, const Sample*>;
    using BitmapType = std::conditional_t<kMutable, B, const B>;

    explicit TileAccessor(BitmapType& bitmap) : m_bitmap(&bitmap) {}
    ~TileAccessor() { Release(); }
    TileAccessor(const TileAccessor&) = delete;
    TileAccessor& operator=(const TileAccessor&) = delete;

    static size_t Offset(int x, int y) { return size_t(y % kTileRows) * kTileWidth + size_t(x % kTileWidth); }
    bool IsInValid(int x, int y) const {
        return m_valid.left <= x && x < m_valid.right && m_valid.top <= y && y < m_valid.bottom;
    }

    // Makes (x, y) the position, looking up and referencing the tile of every channel.
    void Seek(int x, int y) {
        const auto& first = m_bitmap->template GetPlane<0>();
        if (x < 0 || y < 0 || x >= first.width || y >= first.height)
            throw std::out_of_range("pixel position outside the bitmap");
        m_x = x;
        m_y = y;
        const int gridWidth = first.grid.right - first.grid.left;
        const int64_t index = int64_t(y / kTileRows) * gridWidth + x / kTileWidth;
        const size_t offset = Offset(x, y);
        ForEachChannel<B>([&](auto channel) {
            constexpr size_t I = decltype(channel)::value;
            auto& plane = m_bitmap->template GetPlane<I>();
            const int w = plane.grid.right - plane.grid.left;
            const int column = int(index % w);
            const int row = int(index / w);
            if constexpr (kMutable) {
                Raster::Tile* tile = LookupMutableTile(plane, column, row);
                Hold(tile);
                m_bases[I] = reinterpret_cast<Sample*>(m_readsOnly ? BufferToRead(*tile) : tile->GetMutableBuffer());
                m_cursors[I] = m_bases[I] + offset;
                m_current[I] = tile;
            } else {
                Raster::Tile* tile = LookupConstTile(plane, plane.grid, column, row);
                if (tile == m_current[I]) {
                    m_cursors[I] = m_bases[I] + offset;
                    return;
                }
                if (!tile) throw std::logic_error("the engine gave no tile for unwritten content");
                Hold(tile);
                m_current[I] = tile;
                m_bases[I] = reinterpret_cast<const Sample*>(tile->GetConstBuffer());
                m_cursors[I] = m_bases[I] + offset;
            }
        });
        SetValid(int(index % gridWidth), int(index / gridWidth));
    }

    void MoveTo(int x, int y) {
        if (!IsInValid(x, y)) return Seek(x, y);
        const size_t offset = Offset(x, y);
        for (int c = 0; c < kChannels; ++c) m_cursors[c] = m_bases[c] + offset;
        m_x = x;
        m_y = y;
    }

    // One column on. Rows are walked left to right, so only the right edge is tested.
    void Step() {
        ++m_x;
        if (m_x < m_valid.right) {
            for (int c = 0; c < kChannels; ++c) ++m_cursors[c];
        } else {
            Seek(m_x, m_y);
        }
    }

    // Reads pixels x to x + 31 into the span and leaves the accessor on x + 31.
    void SpanRead(Raster::PlanarPixelSpan<B>& span) {
        const bool whole = kMutable ? (m_x % kSpan == 0 && m_x + kSpan <= m_valid.right && IsInValid(m_x, m_y))
                                    : (m_valid.left <= m_x + kSpan && m_x + kSpan < m_valid.right &&
                                       m_valid.top <= m_y && m_y < m_valid.bottom);
        if (whole) {
            for (int c = 0; c < kChannels; ++c) {
                std::memcpy(span.m_planes[c], m_cursors[c], sizeof(Sample) * kSpan);
                m_cursors[c] += kSpan - 1;
            }
            m_x += kSpan - 1;
            return;
        }
        for (int i = 0; i < kSpan - 1; ++i) {
            for (int c = 0; c < kChannels; ++c) span.m_planes[c][i] = *m_cursors[c];
            Step();
        }
        for (int c = 0; c < kChannels; ++c) span.m_planes[c][kSpan - 1] = *m_cursors[c];
    }

    // Whether the 32 pixels from the position on lie in the current tile, so that they can be
    // read, and written, where they are.
    bool SpanInTile() const { return m_x + kSpan <= m_valid.right && IsInValid(m_x, m_y); }
    // n columns on within the current tile, as a span read leaves the accessor.
    void Skip(int n) {
        m_x += n;
        for (int c = 0; c < kChannels; ++c) m_cursors[c] += n;
    }

    // Back from the last pixel of a span just read to its first; the span lies in one tile.
    void BackStep() {
        static_assert(kMutable, "only the written bitmap goes back over a span");
        m_x -= kSpan - 1;
        for (int c = 0; c < kChannels; ++c) m_cursors[c] -= kSpan - 1;
    }

    // Writes the span to pixels x to x + 31 and leaves the accessor on x + 31.
    void SpanWrite(const Raster::PlanarPixelSpan<B>& span) {
        static_assert(kMutable, "the source is never written");
        for (int c = 0; c < kChannels; ++c) {
            std::memcpy(m_cursors[c], span.m_planes[c], sizeof(Sample) * kSpan);
            m_cursors[c] += kSpan - 1;
        }
        m_x += kSpan - 1;
    }

    // Drops every reference held and forgets the current tiles.
    void Release() noexcept {
        for (const TileMap::Entry& e : m_held) {
            if (!e.held) continue;
            if constexpr (kMutable) e.tile->DecrementRefCountMutable();
            else e.tile->DecrementRefCountConst();
        }
        DestroyTileMapNodes();
        for (auto& t : m_current) t = nullptr;
        m_valid = {0, 0, 0, 0};
    }

    SamplePtr const* Cursors() const { return m_cursors; }
    int GetX() const { return m_x; }
    int GetY() const { return m_y; }
    const Kernel::RectT<int>& GetValid() const { return m_valid; }
    size_t GetHeldCount() const { return m_held.size(); }

    SamplePtr m_cursors[kChannels] = {};
    SamplePtr m_bases[kChannels] = {};
    // Set for a written bitmap whose op leaves it as it was (see BufferToRead).
    bool m_readsOnly = false;
    Raster::Tile* m_current[kChannels] = {};
    BitmapType* m_bitmap;
    Kernel::RectT<int> m_valid{0, 0, 0, 0};
    int m_x = 0;
    int m_y = 0;
    TileMap m_held;

private:
    // A tile with pixels of its own, written or lent, is read where they lie: taking a lent
    // block for writing costs two checks of its bytes, or a copy. Any other tile is made as
    // for a write, so that the planar account reads the same. The bytes are never written.
    static uint8_t* BufferToRead(Raster::Tile& tile) {
        return tile.HasOwnBuffer() ? const_cast<uint8_t*>(tile.GetConstBuffer()) : tile.GetMutableBuffer();
    }
    void DestroyTileMapNodes() noexcept { m_held.clear(); }
    void Hold(Raster::Tile* tile) {
        TileMap::Entry& e = m_held.FindOrInsert(tile);
        if (!e.held) {
            e.held = true;
            if constexpr (kMutable) tile->IncrementRefCountMutable();
            else tile->IncrementRefCountConst();
        }
    }
    // The part of the tile's cell that lies inside the bitmap.
    void SetValid(int column, int row) {
        const auto& first = m_bitmap->template GetPlane<0>();
        Kernel::RectT<int> cell{column * kTileWidth, row * kTileRows, column * kTileWidth + kTileWidth,
                                row * kTileRows + kTileRows};
        Kernel::RectT<int> bounds{std::min(0, first.width), std::min(0, first.height), std::max(0, first.width),
                                  std::max(0, first.height)};
        if (cell.right <= bounds.left || cell.left >= bounds.right || cell.bottom <= bounds.top ||
            cell.top >= bounds.bottom) {
            m_valid = {0, 0, 0, 0};
            return;
        }
        m_valid = {std::max(cell.left, bounds.left), std::max(cell.top, bounds.top), std::min(cell.right, bounds.right),
                   std::min(cell.bottom, bounds.bottom)};
    }
};

// The tile seeks and releases of both accessors. They take the shared base, so that the
// layout is deduced from the accessor.
template <class B>
void SeekMutableTile(TileAccessor<B, true>& accessor, int x, int y) {
    accessor.Seek(x, y);
}
template <class B>
void SeekConstTile(TileAccessor<B, false>& accessor, int x, int y) {
    accessor.Seek(x, y);
}
template <class B>
void ReleaseHeldMutableTiles(TileAccessor<B, true>& accessor) noexcept {
    accessor.Release();
}
template <class B>
void ReleaseHeldConstTiles(TileAccessor<B, false>& accessor) noexcept {
    accessor.Release();
}

template <class B>
void ScaledConstSpanRead(typename Raster::ModelBase<B>::template ConstPixelAccessor<
                             Raster::Safe, Raster::ChainedTransform<Raster::IdentityTransform, Raster::ScaleTransform>>& a,
                         Raster::PlanarPixelSpan<B>& span);

}  // namespace BitmapKernels

namespace Raster {

template <class B>
template <class Channels>
class ModelBase<B>::PixelAccessor : public BitmapKernels::TileAccessor<B, true> {
    static_assert(std::is_same_v<Channels, AllChannels>, "a mutable accessor reaches every channel");

public:
    explicit PixelAccessor(B& bitmap) : BitmapKernels::TileAccessor<B, true>(bitmap) {}
};

// Unscaled: a position reads the bitmap's own pixel there.
template <class B>
template <class Policy, class Transform>
class ModelBase<B>::ConstPixelAccessor : public BitmapKernels::TileAccessor<B, false> {
    static_assert(std::is_same_v<Policy, Safe>, "every read checks its tile");
    static_assert(std::is_same_v<Transform, IdentityTransform>, "no reader for this transform");

public:
    explicit ConstPixelAccessor(const B& bitmap) : BitmapKernels::TileAccessor<B, false>(bitmap) {}
    ConstPixelAccessor(const B& bitmap, const IdentityTransform&) : BitmapKernels::TileAccessor<B, false>(bitmap) {}
};

// Reads a reduced mipmap level through a scale: destination column x reads source column
// floor((x + 0.5) * scale), and the same for rows.
template <class B>
template <class Policy>
class ModelBase<B>::ConstPixelAccessor<Policy, ChainedTransform<IdentityTransform, ScaleTransform>> {
    static_assert(std::is_same_v<Policy, Safe>, "every read checks its tile");

public:
    using Sample = typename B::Sample;
    static constexpr int kChannels = B::kChannelCount;
    using Inner = ConstPixelAccessor<Policy, IdentityTransform>;

    ConstPixelAccessor(const B& level, const ChainedTransform<IdentityTransform, ScaleTransform>& transform)
        : m_inner(level), m_scaleX(transform.m_second.m_x), m_scaleY(transform.m_second.m_y) {}

    int SourceX(int x) const { return int(std::floor((x + 0.5) * m_scaleX)); }
    int SourceY(int y) const { return int(std::floor((y + 0.5) * m_scaleY)); }

    void MoveTo(int x, int y) {
        m_x = x;
        m_y = y;
        const int sx = SourceX(x), sy = SourceY(y);
        if (!m_inner.IsInValid(sx, sy)) return m_inner.Seek(sx, sy);
        const size_t offset = Inner::Offset(sx, sy);
        for (int c = 0; c < kChannels; ++c) m_inner.m_cursors[c] = m_inner.m_bases[c] + offset;
        m_inner.m_x = sx;
        m_inner.m_y = sy;
    }

    // One destination column on; the source row is not recomputed.
    void Step() {
        ++m_x;
        const int s = SourceX(m_x);
        const Kernel::RectT<int>& v = m_inner.m_valid;
        if (v.left <= s && s < v.right) {
            const int d = s - m_inner.m_x;
            for (int c = 0; c < kChannels; ++c) m_inner.m_cursors[c] += d;
            m_inner.m_x = s;
        } else {
            m_inner.Seek(s, m_inner.m_y);
        }
    }

    void SpanRead(PlanarPixelSpan<B>& span) { BitmapKernels::ScaledConstSpanRead<B>(*this, span); }
    void Release() noexcept { m_inner.Release(); }
    const Sample* const* Cursors() const { return m_inner.m_cursors; }

    Inner m_inner;
    double m_scaleX;
    double m_scaleY;
    int m_x = 0;
    int m_y = 0;
};

}  // namespace Raster

namespace BitmapKernels {

// The 32 source pixels of destination columns x to x + 31; leaves the destination position on x + 31.
template <class B>
void ScaledConstSpanRead(typename Raster::ModelBase<B>::template ConstPixelAccessor<
                             Raster::Safe, Raster::ChainedTransform<Raster::IdentityTransform, Raster::ScaleTransform>>& a,
                         Raster::PlanarPixelSpan<B>& span) {
    constexpr int N = B::kChannelCount;
    const Kernel::RectT<int>& v = a.m_inner.m_valid;
    const int sx = a.SourceX(a.m_x + kSpan), sy = a.SourceY(a.m_y);
    if (v.left <= sx && sx < v.right && v.top <= sy && sy < v.bottom) {
        for (int i = 0; i < kSpan - 1; ++i) {
            for (int c = 0; c < N; ++c) span.m_planes[c][i] = *a.m_inner.m_cursors[c];
            ++a.m_x;
            const int s = a.SourceX(a.m_x);
            const int d = s - a.m_inner.m_x;
            for (int c = 0; c < N; ++c) a.m_inner.m_cursors[c] += d;
            a.m_inner.m_x = s;
        }
    } else {
        for (int i = 0; i < kSpan - 1; ++i) {
            for (int c = 0; c < N; ++c) span.m_planes[c][i] = *a.m_inner.m_cursors[c];
            a.Step();
        }
    }
    for (int c = 0; c < N; ++c) span.m_planes[c][kSpan - 1] = *a.m_inner.m_cursors[c];
}

// How far to the right and down a destination can be read from the source through the transform.
struct Extent {
    int width;
    int height;
};
template <class B>
Extent SourceExtent(const B& source, const Raster::IdentityTransform&) {
    return {source.GetWidth(), source.GetHeight()};
}
template <class B>
Extent SourceExtent(const B& source,
                    const Raster::ChainedTransform<Raster::IdentityTransform, Raster::ScaleTransform>& transform) {
    const Raster::ScaleTransform& t = transform.m_second;
    // Column x reads floor((x + 0.5) * s), inside the level while x < width / s - 0.5.
    auto reach = [](int size, double s) {
        if (s <= 0.0) return 0;
        double n = std::ceil(size / s - 0.5);
        return n <= 0.0 ? 0 : n >= double(INT_MAX) ? INT_MAX : int(n);
    };
    return {reach(source.GetWidth(), t.m_x), reach(source.GetHeight(), t.m_y)};
}

}  // namespace BitmapKernels
