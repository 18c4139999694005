#include "Trace.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace Kernel {

namespace {
std::mutex g_traceMutex;
std::function<void(const std::string&)> g_sink;
}  // namespace

void Trace(const char* text) {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    std::string t = text ? text : "";
    if (g_sink) g_sink(t);
    else {
        std::fputs(t.c_str(), stderr);
        std::fflush(stderr);
    }
}

namespace {
std::atomic<bool> g_traceEnabled{true};
}  // namespace
bool IsTraceEnabled() { return g_traceEnabled.load(std::memory_order_relaxed); }
void Testing::SetTraceEnabled(bool enabled) { g_traceEnabled.store(enabled, std::memory_order_relaxed); }

std::function<void(const std::string&)> SetTraceSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    auto old = std::move(g_sink);
    g_sink = std::move(sink);
    return old;
}

}  // namespace Kernel
