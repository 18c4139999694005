#include "AssertTrap.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

namespace Kernel {

namespace {
std::mutex& TrapMutex() {
    static std::mutex m;
    return m;
}
std::vector<AssertTrap*>& Traps() {
    static std::vector<AssertTrap*> traps;
    return traps;
}
std::atomic<uint64_t> g_assertions{0};
}  // namespace

AssertTrap::AssertTrap() {
    std::lock_guard<std::mutex> lock(TrapMutex());
    Traps().push_back(this);
}

AssertTrap::~AssertTrap() {
    std::lock_guard<std::mutex> lock(TrapMutex());
    auto& t = Traps();
    t.erase(std::remove(t.begin(), t.end(), this), t.end());
}

void ReportAssertion(const char* file, uint32_t line, const char* expression, const char* function) {
    g_assertions.fetch_add(1, std::memory_order_relaxed);
    AssertTrap* trap = nullptr;
    {
        std::lock_guard<std::mutex> lock(TrapMutex());
        if (!Traps().empty()) trap = Traps().back();
    }
    if (trap) {
        trap->HandleAssert(file ? file : "", expression ? expression : "", line);
        return;
    }
    std::fprintf(stderr, "Assertion failed: %s:%u %s%s(%s)\n", file ? file : "", line, function ? function : "",
                 function ? " " : "", expression ? expression : "");
}

uint64_t AssertionCount() { return g_assertions.load(std::memory_order_relaxed); }

}  // namespace Kernel
