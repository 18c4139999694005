// Cached type tests on engine objects, and the document's first tool of a class.
#pragma once
#include <cstdint>
#include <cstring>

#include "DocSession/DocumentController.h"
#include "Kernel/Counted.h"

namespace Kernel {

// Marks a cached layout that is not of the target class.
inline constexpr int64_t kFastCastNoMatch = INT64_MAX;

// One cache entry per thread and per (To, From) pair: the last virtual-table pointer seen
// and the pointer adjustment it led to (or the no-match marker).
template <class To, class From>
struct FastDynamicCastCache {
    static thread_local const void* src_vtable_ptr;
    static thread_local int64_t offset;
};
template <class To, class From>
thread_local const void* FastDynamicCastCache<To, From>::src_vtable_ptr = nullptr;
template <class To, class From>
thread_local int64_t FastDynamicCastCache<To, From>::offset = 0;

// How many full type checks this thread has run; lets callers see when the cache answered.
inline thread_local uint64_t t_fastDynamicCastFullChecks = 0;

// The answer is always that of a full dynamic down-cast; repeated tests of objects with the
// same layout cost one comparison instead of a run-time type walk.
template <class To, class From>
To* fast_dynamic_cast(From* object) {
    if (!object) return nullptr;
    using Cache = FastDynamicCastCache<To, From>;
    const void* vtable;
    std::memcpy(&vtable, static_cast<const void*>(object), sizeof vtable);
    auto* base = reinterpret_cast<const char*>(static_cast<const void*>(object));
    if (vtable == Cache::src_vtable_ptr) {
        if (Cache::offset == kFastCastNoMatch) return nullptr;
        return reinterpret_cast<To*>(const_cast<char*>(base + Cache::offset));
    }
    Cache::src_vtable_ptr = vtable;
    ++t_fastDynamicCastFullChecks;
    To* result = dynamic_cast<To*>(object);
    if (result) {
        Cache::offset = reinterpret_cast<const char*>(static_cast<const void*>(result)) - base;
    } else {
        Cache::offset = kFastCastNoMatch;
    }
    return result;
}

}  // namespace Kernel

// The first tool in the document's list that is a T, with one count taken on it; empty when none.
template <class T>
Kernel::Counted<T> FirstToolOfClassIn(const DocumentController& document) {
    const auto& tools = document.GetTools();
    for (Tool* tool : tools) {
        if (!tool) continue;
        if (T* found = Kernel::fast_dynamic_cast<T, Tool>(tool)) return Kernel::Counted<T>(found);
    }
    return {};
}
