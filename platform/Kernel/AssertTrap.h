// Engine assertions: routed to the innermost live trap, which reports and returns.
#pragma once
#include <cstdint>

namespace Kernel {

class AssertTrap {
public:
    AssertTrap();
    virtual ~AssertTrap();
    AssertTrap(const AssertTrap&) = delete;
    AssertTrap& operator=(const AssertTrap&) = delete;

    virtual void HandleAssert(const char* file, const char* expression, uint32_t line) = 0;
};

// Reports a failed assertion to the innermost trap, or to standard error when none lives.
void ReportAssertion(const char* file, uint32_t line, const char* expression, const char* function = nullptr);

// Counts every assertion reported since start-up (all threads).
uint64_t AssertionCount();

}  // namespace Kernel

#define KERNEL_ASSERT(expr) \
    ((expr) ? (void)0 : ::Kernel::ReportAssertion(__FILE__, __LINE__, #expr, __func__))
