#include "Raster/Tile.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "Kernel/OutOfMemory.h"

namespace Raster {

namespace {

// Default contents shared by every unwritten tile until exit. Zeros need no making, and each
// full content is made only once a tile of its sample size asks for it.
alignas(64) constinit uint8_t g_clear[Tile::kBytes] = {};

const uint8_t* FullContent(int bytesPerSample) {
    if (bytesPerSample != 4) {
        static const uint8_t* full = [] {  // 0xff bytes are the maximum of 8- and 16-bit samples
            auto* c = Kernel::Allocating("the full content of 8- and 16-bit tiles", Tile::kBytes,
                                         [] { return new uint8_t[Tile::kBytes]; });
            std::memset(c, 0xff, Tile::kBytes);
            return c;
        }();
        return full;
    }
    static const uint8_t* fullFloat = [] {
        auto* c = Kernel::Allocating("the full content of float tiles", Tile::kBytes,
                                     [] { return new uint8_t[Tile::kBytes]; });
        const float one = 1.0f;
        for (int i = 0; i < Tile::kBytes; i += 4) std::memcpy(c + i, &one, 4);
        return c;
    }();
    return fullFloat;
}

// Buffers come from slabs of one huge page each: the kernel then maps and zeroes a slab in one
// fault rather than 512, which on a virtual machine is several times faster. A buffer given
// back is kept for the next one taken; beyond 256 MB kept, slabs whose buffers are all back go
// back to the system. Builds with the address sanitizer allocate every buffer on its own and
// keep none, so that the sanitizer still sees a buffer used after it was given back.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSlabs = false;
#else
constexpr bool kSlabs = true;
#endif
constexpr size_t kSlabBytes = size_t(2) << 20;
constexpr size_t kKeptBuffers = 4096;

// The buffers of the newest slab of one kind never taken yet.
struct Fresh {
    uint8_t* next = nullptr;
    uint8_t* end = nullptr;
    uintptr_t Slab() const { return end ? uintptr_t(end) - kSlabBytes : 0; }
};

struct BufferPool {
    std::mutex mutex;
    std::vector<uint8_t*> kept;  // given back, the last first out again
    Fresh huge;                  // of a slab of huge pages
    Fresh small;                 // of a slab of small pages, for scratch
    std::unordered_map<uintptr_t, size_t> out;  // slab to its buffers taken and not given back
    size_t nextRelease = kKeptBuffers;          // kept buffers at which idle slabs are looked for

    static uintptr_t SlabOf(const uint8_t* buffer) { return uintptr_t(buffer) & ~uintptr_t(kSlabBytes - 1); }

    // The slab's count of buffers out is made here, with the slab, so that taking or giving
    // back a buffer never allocates: a buffer is given back from a tile's destructor.
    void NewSlab(Fresh& fresh, bool hugePages) {
        // Twice the size, so that an aligned slab lies inside; the rest goes back at once.
        void* p = mmap(nullptr, 2 * kSlabBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) Kernel::ThrowOutOfMemory("the mapping of a slab of tile buffers", 2 * kSlabBytes);
        const uintptr_t begin = uintptr_t(p), slab = (begin + kSlabBytes - 1) & ~uintptr_t(kSlabBytes - 1);
        if (slab > begin) munmap(p, slab - begin);
        if (begin + 2 * kSlabBytes > slab + kSlabBytes)
            munmap(reinterpret_cast<void*>(slab + kSlabBytes), begin + 2 * kSlabBytes - (slab + kSlabBytes));
        try {
            out.emplace(slab, 0);
        } catch (const std::bad_alloc&) {
            munmap(reinterpret_cast<void*>(slab), kSlabBytes);
            Kernel::ThrowOutOfMemory("the count of a new slab of tile buffers", sizeof(std::pair<uintptr_t, size_t>));
        }
        if (hugePages) madvise(reinterpret_cast<void*>(slab), kSlabBytes, MADV_HUGEPAGE);
        fresh.next = reinterpret_cast<uint8_t*>(slab);
        fresh.end = fresh.next + kSlabBytes;
    }

    // Slabs all of whose buffers are kept, but the ones still being handed out fresh. Looked
    // for again only once a few more slabs' worth are kept, so that giving back many buffers in
    // a row does not look at every slab each time.
    void ReleaseIdleSlabs() {
        std::vector<uintptr_t> idle;
        for (const auto& [slab, taken] : out)
            if (taken == 0 && slab != huge.Slab() && slab != small.Slab()) idle.push_back(slab);
        if (idle.empty()) return;
        std::sort(idle.begin(), idle.end());
        kept.erase(std::remove_if(kept.begin(), kept.end(),
                                  [&](uint8_t* b) { return std::binary_search(idle.begin(), idle.end(), SlabOf(b)); }),
                   kept.end());
        for (uintptr_t slab : idle) {
            munmap(reinterpret_cast<void*>(slab), kSlabBytes);
            out.erase(slab);
        }
    }
    // Never throws: it runs in tiles' destructors. A buffer the list has no room for is not
    // kept: its pages go back to the system, and its address range with its slab, once the
    // slab's other buffers are all back.
    void Kept(uint8_t* buffer) noexcept {
        try {
            kept.push_back(buffer);
        } catch (const std::bad_alloc&) {
            madvise(buffer, Tile::kBytes, MADV_DONTNEED);
            return;
        }
        if (kept.size() < nextRelease) return;
        try {
            ReleaseIdleSlabs();
        } catch (const std::bad_alloc&) {
            // Looked for again once a few more buffers are kept.
        }
        nextRelease = std::max(kept.size(), kKeptBuffers) + 16 * (kSlabBytes / Tile::kBytes);
    }
};

BufferPool& Pool() {
    static auto* pool = new BufferPool;  // tiles may be freed during static destruction
    return *pool;
}

}  // namespace

uint8_t* TakeTileBuffer(bool* zeroed, bool scratch) {
    if (zeroed) *zeroed = false;
    if (!kSlabs) return Kernel::Allocating("a tile buffer", Tile::kBytes, [] { return new uint8_t[Tile::kBytes]; });
    BufferPool& pool = Pool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    uint8_t* buffer;
    if (!pool.kept.empty()) {
        buffer = pool.kept.back();
        pool.kept.pop_back();
    } else {
        Fresh& fresh = scratch ? pool.small : pool.huge;
        if (fresh.next == fresh.end) pool.NewSlab(fresh, !scratch);
        buffer = fresh.next;
        fresh.next += Tile::kBytes;
        if (zeroed) *zeroed = true;  // never written: the kernel's zeros
    }
    ++pool.out.find(BufferPool::SlabOf(buffer))->second;  // made with the slab
    return buffer;
}

void GiveTileBuffer(uint8_t* buffer) {
    if (!buffer) return;
    if (!kSlabs) {
        delete[] buffer;
        return;
    }
    BufferPool& pool = Pool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    --pool.out.find(BufferPool::SlabOf(buffer))->second;
    pool.Kept(buffer);
}

const uint8_t* DefaultTileContent(int bytesPerSample, RegionDefault value) {
    return value == kDefaultClear ? g_clear : FullContent(bytesPerSample);
}

const uint8_t* ConstantTileContent(int bytesPerSample, const void* value) {
    const auto* bytes = static_cast<const uint8_t*>(value);
    if (std::all_of(bytes, bytes + bytesPerSample, [](uint8_t b) { return b == 0; })) return g_clear;
    if (std::memcmp(FullContent(bytesPerSample), bytes, size_t(bytesPerSample)) == 0) return FullContent(bytesPerSample);
    struct Made {
        int bytesPerSample;
        uint8_t value[8];
        const uint8_t* content;
    };
    static std::mutex mutex;
    static auto* made = new std::vector<Made>;  // tiles may show them during static destruction
    std::lock_guard<std::mutex> lock(mutex);
    for (const Made& m : *made)
        if (m.bytesPerSample == bytesPerSample && std::memcmp(m.value, bytes, size_t(bytesPerSample)) == 0)
            return m.content;
    Made m{bytesPerSample, {}, nullptr};
    std::memcpy(m.value, bytes, size_t(bytesPerSample));
    Kernel::Allocating("the list of constant tile contents", (made->size() + 1) * sizeof(Made),
                       [&] { made->reserve(made->size() + 1); });
    auto* content = Kernel::Allocating("the content of a constant tile", Tile::kBytes,
                                       [] { return new uint8_t[Tile::kBytes]; });
    for (int i = 0; i < Tile::kBytes; i += bytesPerSample) std::memcpy(content + i, bytes, size_t(bytesPerSample));
    m.content = content;
    made->push_back(m);
    return content;
}

Tile::~Tile() {
    uint8_t* b = m_buffer.load(std::memory_order_acquire);
    if (b && !(m_loan && b == m_loan->GetBytes())) GiveTileBuffer(b);
    if (m_charged) MemoryManager::Instance().RemovePlanar(kBytes);
}

void Tile::Lend(Kernel::Counted<TileLoan> loan) {
    if (!loan || m_loan || HasOwnBuffer()) return;
    m_loan = std::move(loan);
    Charge();
}

void Tile::Charge() {
    MemoryManager& memory = MemoryManager::Instance();
    m_accounted = true;
    m_charged = memory.IsAccounting();
    if (m_charged) memory.AddPlanar(kBytes);
}

void Tile::ShowShared(const uint8_t* content) {
    uint8_t* b = m_buffer.exchange(nullptr, std::memory_order_acq_rel);
    if (b && !(m_loan && b == m_loan->GetBytes())) GiveTileBuffer(b);
    m_loan.Reset();
    m_default = content;
    if (!m_accounted) Charge();  // as the write it stands for would have
}

uint8_t* Tile::GetMutableBuffer() {
    uint8_t* b = m_buffer.load(std::memory_order_acquire);
    if (b) return b;
    if (m_loan) {
        if (uint8_t* inPlace = m_loan->TakeForWriting()) {
            // Every caller is given the same bytes, so whoever stores them first stores them all.
            m_buffer.compare_exchange_strong(b, inPlace, std::memory_order_acq_rel);
            return inPlace;
        }
    }
    bool zeroed;
    uint8_t* fresh = TakeTileBuffer(&zeroed, m_loan && m_loan->CopiesAreScratch());
    const uint8_t* from = m_loan ? m_loan->GetBytes() : m_default;
    if (!(zeroed && from == g_clear)) std::memcpy(fresh, from, kBytes);
    if (m_buffer.compare_exchange_strong(b, fresh, std::memory_order_acq_rel)) {
        if (!m_accounted) Charge();  // a lent tile was charged when lent
        return fresh;
    }
    GiveTileBuffer(fresh);  // another thread made it first
    return b;
}

const uint8_t* Tile::GetConstBuffer() const {
    const uint8_t* b = m_buffer.load(std::memory_order_acquire);
    if (b) return b;
    return m_loan ? m_loan->GetBytes() : m_default;
}

MemoryManager& MemoryManager::Instance() {
    static MemoryManager* manager = new MemoryManager;  // tiles may be freed during static destruction
    return *manager;
}

void MemoryManager::AddPlanar(uint64_t bytes) {
    uint64_t now = m_usage.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    uint64_t peak = m_peak.load(std::memory_order_relaxed);
    while (now > peak && !m_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

}  // namespace Raster
