// Tiles: one channel's samples over a cell of 256 bytes by 256 rows, with the engine's
// reference counts, and the planar memory account they are charged to.
#pragma once
#include <atomic>
#include <cstdint>

#include "Kernel/Counted.h"

namespace Raster {

// What a tile holds before anything is written to it.
enum RegionDefault : uint32_t {
    kDefaultClear = 0,  // every sample 0
    kDefaultFull = 1,   // every sample at its maximum (1.0 for float)
};

// The shared, never-written content of a tile for a sample width and a default.
const uint8_t* DefaultTileContent(int bytesPerSample, RegionDefault value);
// The shared content of a tile whose every sample holds the bytesPerSample bytes at value:
// made once for each value asked for, and kept until exit.
const uint8_t* ConstantTileContent(int bytesPerSample, const void* value);

// Buffers of Tile::kBytes, uninitialised, or all zeros where zeroed is given and set. A buffer
// given back is kept for the next one taken, up to a bound: a fresh buffer costs page faults
// and the kernel's zeroing, and renders, documents and baselines take and give back thousands.
// Fresh buffers come from slabs of huge pages, or, for scratch, from slabs of small pages, which
// cost only the pages of the buffers taken: a few short-lived buffers should not cost a slab.
uint8_t* TakeTileBuffer(bool* zeroed = nullptr, bool scratch = false);
void GiveTileBuffer(uint8_t* buffer);

// Pixels a tile shows in place without a buffer of its own: a block of another store, lent to
// the tile so that a render need not copy what its document already holds.
class TileLoan : public Kernel::Countable {
public:
    virtual const uint8_t* GetBytes() const = 0;
    // The tile is about to be written. Answers the bytes when the lender lets the tile write
    // them in place (they are then the tile's until the loan ends), or null when the tile must
    // write a copy. Every caller gets the same answer; it may run on any thread.
    virtual uint8_t* TakeForWriting() = 0;
    // Whether that copy is scratch (see TakeTileBuffer).
    virtual bool CopiesAreScratch() const { return false; }
};

class Tile {
public:
    static constexpr int kRowBytes = 256;
    static constexpr int kRows = 256;
    static constexpr int kBytes = kRowBytes * kRows;

    Tile() = default;
    explicit Tile(const uint8_t* defaultContent) : m_default(defaultContent) {}
    ~Tile();
    Tile(const Tile&) = delete;
    Tile& operator=(const Tile&) = delete;

    // Unwritten tiles share their default content until first written.
    void SetDefaultContent(const uint8_t* content) { m_default = content; }

    // Shows a lender's pixels until the tile is first written; charged as a buffer of its own.
    // Only for a tile that has not been written, before other threads see it.
    void Lend(Kernel::Counted<TileLoan> loan);

    // Shows shared content in place of what the tile held, as if written with it: charged as a
    // buffer of its own, and copied before it is written again. Only while no other thread
    // uses the tile.
    void ShowShared(const uint8_t* content);

    // The tile's own buffer, made from the default or lent content on first use.
    uint8_t* GetMutableBuffer();
    const uint8_t* GetConstBuffer() const;
    // Whether the tile holds pixels of its own, written or lent.
    bool HasOwnBuffer() const { return m_loan || m_buffer.load(std::memory_order_acquire) != nullptr; }

    void IncrementRefCountMutable() { m_mutableRefs.fetch_add(1, std::memory_order_relaxed); }
    void DecrementRefCountMutable() { m_mutableRefs.fetch_sub(1, std::memory_order_relaxed); }
    void IncrementRefCountConst() { m_constRefs.fetch_add(1, std::memory_order_relaxed); }
    void DecrementRefCountConst() { m_constRefs.fetch_sub(1, std::memory_order_relaxed); }
    long GetMutableRefCount() const { return m_mutableRefs.load(std::memory_order_relaxed); }
    long GetConstRefCount() const { return m_constRefs.load(std::memory_order_relaxed); }

private:
    // Counts the tile's pixels in the planar account, when it is keeping account.
    void Charge();

    const uint8_t* m_default = DefaultTileContent(1, kDefaultClear);
    std::atomic<uint8_t*> m_buffer{nullptr};  // the loan's bytes when written in place
    Kernel::Counted<TileLoan> m_loan;
    bool m_charged = false;    // whether the buffer counts in the planar account
    bool m_accounted = false;  // whether Charge has decided that
    std::atomic<long> m_mutableRefs{0};
    std::atomic<long> m_constRefs{0};
};

// Accounts for the memory held by tile buffers.
class MemoryManager {
public:
    static MemoryManager& Instance();

    uint64_t GetPlanarUsage() const { return m_usage.load(std::memory_order_relaxed); }
    uint64_t GetPlanarPeakUsage() const { return m_peak.load(std::memory_order_relaxed); }
    void ResetPlanarPeakUsage() { m_peak.store(GetPlanarUsage(), std::memory_order_relaxed); }

    void AddPlanar(uint64_t bytes);
    void RemovePlanar(uint64_t bytes) { m_usage.fetch_sub(bytes, std::memory_order_relaxed); }

    // While a scope lives, tile buffers made anywhere in the process are the caller's own
    // working memory, not the engine's: they are not charged to the planar account, and
    // freeing them later gives nothing back to it. For work that runs while the engine is idle.
    class UnaccountedScope {
    public:
        UnaccountedScope() { Instance().m_unaccounted.fetch_add(1, std::memory_order_acq_rel); }
        ~UnaccountedScope() { Instance().m_unaccounted.fetch_sub(1, std::memory_order_acq_rel); }
        UnaccountedScope(const UnaccountedScope&) = delete;
        UnaccountedScope& operator=(const UnaccountedScope&) = delete;
    };
    // The same for the tile buffers made on the calling thread alone: for working memory made
    // while the engine goes on with its own on other threads.
    class ThreadUnaccountedScope {
    public:
        ThreadUnaccountedScope() { ++t_unaccounted; }
        ~ThreadUnaccountedScope() { --t_unaccounted; }
        ThreadUnaccountedScope(const ThreadUnaccountedScope&) = delete;
        ThreadUnaccountedScope& operator=(const ThreadUnaccountedScope&) = delete;
    };
    bool IsAccounting() const { return m_unaccounted.load(std::memory_order_acquire) == 0 && t_unaccounted == 0; }

    // Bitmaps kept compressed, and the blocks of documents' tile stores.
    uint64_t GetCompressedUsage() const { return m_compressed.load(std::memory_order_relaxed); }
    uint64_t GetBackstoreUsage() const { return m_backstore.load(std::memory_order_relaxed); }
    void AddCompressed(uint64_t bytes) { m_compressed.fetch_add(bytes, std::memory_order_relaxed); }
    void RemoveCompressed(uint64_t bytes) { m_compressed.fetch_sub(bytes, std::memory_order_relaxed); }
    void AddBackstore(uint64_t bytes) { m_backstore.fetch_add(bytes, std::memory_order_relaxed); }
    void RemoveBackstore(uint64_t bytes) { m_backstore.fetch_sub(bytes, std::memory_order_relaxed); }

private:
    std::atomic<uint64_t> m_compressed{0};
    std::atomic<uint64_t> m_backstore{0};
    std::atomic<uint64_t> m_usage{0};
    std::atomic<uint64_t> m_peak{0};
    std::atomic<int> m_unaccounted{0};
    static inline thread_local int t_unaccounted = 0;
};

// Planar memory charged for as long as the charge lives: for bitmaps held uncharged in a
// cache and handed out, so that the account shows them while they are in use, as if made then.
class PlanarCharge {
public:
    explicit PlanarCharge(uint64_t bytes) : m_bytes(bytes) { MemoryManager::Instance().AddPlanar(bytes); }
    ~PlanarCharge() { MemoryManager::Instance().RemovePlanar(m_bytes); }
    PlanarCharge(const PlanarCharge&) = delete;
    PlanarCharge& operator=(const PlanarCharge&) = delete;
    uint64_t GetBytes() const { return m_bytes; }

private:
    uint64_t m_bytes;
};

}  // namespace Raster
