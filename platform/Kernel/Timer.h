#pragma once
#include <chrono>
#include <cstdint>

namespace Kernel {

class Timer {
public:
    Timer() { Start(); }
    void Start() { m_start = std::chrono::steady_clock::now(); }
    uint64_t GetElapsedMilliseconds() const {
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start).count());
    }
    // Elapsed time with its fraction, in milliseconds.
    double GetMilliseconds() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start).count();
    }
    double GetElapsedSeconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

private:
    std::chrono::steady_clock::time_point m_start;
};

}  // namespace Kernel
