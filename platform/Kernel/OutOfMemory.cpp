#include "Kernel/OutOfMemory.h"

#include <cstdio>

namespace Kernel {

OutOfMemory::OutOfMemory(const char* what, uint64_t bytes) noexcept {
    std::snprintf(m_text, sizeof m_text, "%s of %llu bytes", what ? what : "memory", (unsigned long long)bytes);
}

void ThrowOutOfMemory(const char* what, uint64_t bytes) { throw OutOfMemory(what, bytes); }

const char* DescribeAllocation(const std::bad_alloc& error) noexcept {
    if (const auto* typed = dynamic_cast<const OutOfMemory*>(&error)) return typed->what();
    return "an allocation that does not say what it was for";
}

}  // namespace Kernel
