#include "EngineServices.h"

#include <map>
#include <mutex>
#include <vector>

namespace Kernel {

namespace {
std::mutex& SweepMutex() {
    static std::mutex m;
    return m;
}
std::map<int, SharedClassProperties::Sweep>& Sweeps() {
    static auto* sweeps = new std::map<int, SharedClassProperties::Sweep>;
    return *sweeps;
}
int g_nextSweepKey = 1;
}  // namespace

int SharedClassProperties::AddSweep(Sweep sweep) {
    std::lock_guard<std::mutex> lock(SweepMutex());
    int key = g_nextSweepKey++;
    Sweeps()[key] = std::move(sweep);
    return key;
}

void SharedClassProperties::RemoveSweep(int key) {
    std::lock_guard<std::mutex> lock(SweepMutex());
    Sweeps().erase(key);
}

void SharedClassProperties::SweepAll(bool force) {
    // Run outside the lock: a sweep may release objects whose destructors register or remove sweeps.
    std::vector<Sweep> sweeps;
    {
        std::lock_guard<std::mutex> lock(SweepMutex());
        for (auto& [key, sweep] : Sweeps()) sweeps.push_back(sweep);
    }
    for (auto& sweep : sweeps)
        if (sweep) sweep(force);
}

}  // namespace Kernel
