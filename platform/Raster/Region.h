// Channel planes: a quadtree of regions over a grid of tiles, one plane per channel.
#pragma once
#include <memory>
#include <stdexcept>

#include "Kernel/OutOfMemory.h"
#include "Kernel/Rect.h"
#include "Raster/Tile.h"
#include "System/UnfairLock.h"

namespace Raster {

// A node of a plane's quadtree. A node fewer than kLeafLimit tiles wide or high is a leaf
// holding its tiles row by row; any other node holds up to four children, made on demand.
// A node does not know its own rectangle: whoever walks the tree carries it down.
template <class Channel>
class Region {
public:
    using Default = RegionDefault;
    static constexpr int kLeafLimit = 17;
    static constexpr int kBytesPerSample = int(sizeof(typename Channel::Sample));

    Region(Kernel::RectT<int> rect, Default value) : m_default(value) {
        int w = rect.right - rect.left;
        int h = rect.bottom - rect.top;
        if (w < 0 || h < 0) throw std::invalid_argument("region rectangle is not normalised");
        if (w < kLeafLimit || h < kLeafLimit) {
            size_t n = size_t(w) * size_t(h);
            m_tiles.reset(Kernel::Allocating("the tiles of a bitmap plane's region", uint64_t(n) * sizeof(Tile),
                                             [n] { return new Tile[n]; }));
            const uint8_t* content = DefaultTileContent(kBytesPerSample, value);
            for (size_t i = 0; i < n; ++i) m_tiles[i].SetDefaultContent(content);
        }
    }
    ~Region() {
        for (Region* child : m_children) delete child;
    }
    Region(const Region&) = delete;
    Region& operator=(const Region&) = delete;

    // The tile that stands for content never written below this node.
    Tile* GetDefault() const {
        static Tile tiles[2] = {Tile(DefaultTileContent(kBytesPerSample, kDefaultClear)),
                                Tile(DefaultTileContent(kBytesPerSample, kDefaultFull))};
        return &tiles[m_default == kDefaultClear ? 0 : 1];
    }

    // Slots: 0 left-top, 1 right-top, 2 left-bottom, 3 right-bottom.
    Region* m_children[4] = {nullptr, nullptr, nullptr, nullptr};
    std::unique_ptr<Tile[]> m_tiles;  // leaves only
    Default m_default;
};

// One channel's samples: the bitmap's size, its grid in tile units, the tree and the lock
// that serialises the making of regions.
template <class Channel>
struct Plane {
    using Sample = typename Channel::Sample;
    static constexpr int kTileWidth = 256 / int(sizeof(Sample));

    Plane(int w, int h, RegionDefault value)
        : width(w),
          height(h),
          grid{0, 0, (w + kTileWidth - 1) / kTileWidth, (h + Tile::kRows - 1) / Tile::kRows},
          root(Kernel::Allocating("the root region of a bitmap plane", sizeof(Region<Channel>),
                                  [&] { return new Region<Channel>(grid, value); })) {}
    ~Plane() { delete root; }
    Plane(const Plane&) = delete;
    Plane& operator=(const Plane&) = delete;

    // The tile of a grid cell; with create, missing regions are made on the way, else the
    // deepest existing region's default tile stands in. Engine-side access for bulk writes.
    Tile* TileAt(int column, int row, bool create) {
        Kernel::RectT<int> r = grid;
        Region<Channel>* region = root;
        bool large = r.right - r.left >= Region<Channel>::kLeafLimit && r.bottom - r.top >= Region<Channel>::kLeafLimit;
        if (large && create) os_unfair_lock_lock(&lock);
        while (r.right - r.left >= Region<Channel>::kLeafLimit && r.bottom - r.top >= Region<Channel>::kLeafLimit) {
            int mx = (r.left + r.right) >> 1;
            int my = (r.top + r.bottom) >> 1;
            int right = column >= mx;
            int bottom = row >= my;
            (right ? r.left : r.right) = mx;
            (bottom ? r.top : r.bottom) = my;
            Region<Channel>*& child = region->m_children[2 * bottom + right];
            if (!child) {
                if (!create) return region->GetDefault();
                try {
                    child = Kernel::Allocating("a region of a bitmap plane", sizeof(Region<Channel>),
                                               [&] { return new Region<Channel>(r, region->m_default); });
                } catch (...) {
                    os_unfair_lock_unlock(&lock);
                    throw;
                }
            }
            region = child;
        }
        if (large && create) os_unfair_lock_unlock(&lock);
        return &region->m_tiles[size_t(row - r.top) * size_t(r.right - r.left) + size_t(column - r.left)];
    }

    int width;
    int height;
    Kernel::RectT<int> grid;
    Region<Channel>* root;
    os_unfair_lock lock = OS_UNFAIR_LOCK_INIT;
};

}  // namespace Raster
