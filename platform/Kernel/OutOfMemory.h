// Memory that could not be had, with what it was for.
#pragma once
#include <cstdint>
#include <new>

namespace Kernel {

// Thrown where an allocation of the engine fails, saying what was being allocated: "a tile
// slab of 4194304 bytes". It is a std::bad_alloc, so whoever handles that handles this too. The
// text lives in the object itself: memory is what is short when one is made.
class OutOfMemory : public std::bad_alloc {
public:
    // "<what> of <bytes> bytes".
    OutOfMemory(const char* what, uint64_t bytes) noexcept;
    const char* what() const noexcept override { return m_text; }

private:
    char m_text[320];
};

[[noreturn]] void ThrowOutOfMemory(const char* what, uint64_t bytes);

// Runs allocate() and answers what it answers; a std::bad_alloc from it goes on as
// OutOfMemory(what, bytes), one that already says what it was for as it is. Costs nothing
// unless something is thrown.
template <class Allocate>
decltype(auto) Allocating(const char* what, uint64_t bytes, Allocate&& allocate) {
    try {
        return allocate();
    } catch (const OutOfMemory&) {
        throw;
    } catch (const std::bad_alloc&) {
        ThrowOutOfMemory(what, bytes);
    }
}

// What the failed allocation was for: an OutOfMemory's text, or "an allocation that does not
// say what it was for" for any other std::bad_alloc.
const char* DescribeAllocation(const std::bad_alloc& error) noexcept;

}  // namespace Kernel
