#include "Raster/Tile.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace Raster {

namespace {

struct DefaultContents {
    alignas(16) uint8_t clear[Tile::kBytes];
    alignas(16) uint8_t full[Tile::kBytes];  // 0xff bytes are the maximum of 8- and 16-bit samples
    alignas(16) uint8_t fullFloat[Tile::kBytes];

    DefaultContents() {
        std::memset(clear, 0, sizeof clear);
        std::memset(full, 0xff, sizeof full);
        const float one = 1.0f;
        for (int i = 0; i < Tile::kBytes; i += 4) std::memcpy(fullFloat + i, &one, 4);
    }
};

const DefaultContents& Contents() {
    static const DefaultContents* contents = new DefaultContents;  // shared by every tile until exit
    return *contents;
}

// At most 256 MB kept. Builds with the address sanitizer keep none, so that it still sees a
// buffer used after it was given back.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kKeptBuffers = 0;
#else
constexpr size_t kKeptBuffers = 4096;
#endif

struct BufferPool {
    std::mutex mutex;
    std::vector<uint8_t*> kept;
};

BufferPool& Pool() {
    static auto* pool = new BufferPool;  // tiles may be freed during static destruction
    return *pool;
}

}  // namespace

uint8_t* TakeTileBuffer() {
    if (kKeptBuffers) {
        BufferPool& pool = Pool();
        std::lock_guard<std::mutex> lock(pool.mutex);
        if (!pool.kept.empty()) {
            uint8_t* buffer = pool.kept.back();
            pool.kept.pop_back();
            return buffer;
        }
    }
    return new uint8_t[Tile::kBytes];
}

void GiveTileBuffer(uint8_t* buffer) {
    if (!buffer) return;
    if (kKeptBuffers) {
        BufferPool& pool = Pool();
        std::lock_guard<std::mutex> lock(pool.mutex);
        if (pool.kept.size() < kKeptBuffers) {
            if (pool.kept.capacity() == 0) pool.kept.reserve(kKeptBuffers);
            pool.kept.push_back(buffer);
            return;
        }
    }
    delete[] buffer;
}

const uint8_t* DefaultTileContent(int bytesPerSample, RegionDefault value) {
    const DefaultContents& c = Contents();
    if (value == kDefaultClear) return c.clear;
    return bytesPerSample == 4 ? c.fullFloat : c.full;
}

Tile::~Tile() {
    uint8_t* b = m_buffer.load(std::memory_order_acquire);
    if (b) {
        GiveTileBuffer(b);
        if (m_charged) MemoryManager::Instance().RemovePlanar(kBytes);
    }
}

uint8_t* Tile::GetMutableBuffer() {
    uint8_t* b = m_buffer.load(std::memory_order_acquire);
    if (b) return b;
    uint8_t* fresh = TakeTileBuffer();
    std::memcpy(fresh, m_default, kBytes);
    if (m_buffer.compare_exchange_strong(b, fresh, std::memory_order_acq_rel)) {
        MemoryManager& memory = MemoryManager::Instance();
        m_charged = memory.IsAccounting();
        if (m_charged) memory.AddPlanar(kBytes);
        return fresh;
    }
    GiveTileBuffer(fresh);  // another thread made it first
    return b;
}

const uint8_t* Tile::GetConstBuffer() const {
    const uint8_t* b = m_buffer.load(std::memory_order_acquire);
    return b ? b : m_default;
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
