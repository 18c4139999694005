// Stand-in bookkeeping: how many objects of a class are alive, so tests can see that nothing a
// call created is left behind.
#pragma once
#include <atomic>

namespace Kernel {

template <class T>
class LiveCount {
public:
    LiveCount() { ++s_live; }
    LiveCount(const LiveCount&) { ++s_live; }
    LiveCount& operator=(const LiveCount&) = default;
    ~LiveCount() { --s_live; }
    static long Live() { return s_live.load(); }

private:
    static inline std::atomic<long> s_live{0};
};

}  // namespace Kernel
