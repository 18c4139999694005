#include "System.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace Kernel {

namespace {
std::mutex& EnvMutex() {
    static std::mutex m;
    return m;
}
std::vector<std::string>& EnvRequests() {
    static std::vector<std::string> r;
    return r;
}
}  // namespace

const char* GetEnv(const char* name) {
    if (!name) return nullptr;
    {
        std::lock_guard<std::mutex> lock(EnvMutex());
        EnvRequests().emplace_back(name);
    }
    return std::getenv(name);
}

uint64_t System::GetRamCount() {
    long pages = sysconf(_SC_PHYS_PAGES);
    long size = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || size <= 0) return 0;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(size);
}

int System::GetCpuCount(bool) {
    unsigned n = std::thread::hardware_concurrency();
    return n ? static_cast<int>(n) : 1;
}

namespace Testing {
std::vector<std::string> GetEnvRequests() {
    std::lock_guard<std::mutex> lock(EnvMutex());
    return EnvRequests();
}
void ResetGetEnvRequests() {
    std::lock_guard<std::mutex> lock(EnvMutex());
    EnvRequests().clear();
}
}  // namespace Testing

namespace {
// -1 until first asked: the stand-in then takes QUIREVALE_GPU_TELEMETRY=1 from the environment.
std::atomic<int> g_gpuTelemetry{-1};
}  // namespace

bool IsGPUTelemetryEnabled() {
    int v = g_gpuTelemetry.load(std::memory_order_relaxed);
    if (v < 0) {
        const char* env = std::getenv("QUIREVALE_GPU_TELEMETRY");
        v = env && std::string(env) == "1" ? 1 : 0;
        g_gpuTelemetry.store(v, std::memory_order_relaxed);
    }
    return v == 1;
}
void Testing::SetGPUTelemetryEnabled(bool enabled) { g_gpuTelemetry.store(enabled ? 1 : 0, std::memory_order_relaxed); }

}  // namespace Kernel
