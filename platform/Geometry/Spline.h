// Splines of the geometry library, as far as the curve adjustments use them.
#pragma once
#include <atomic>
#include <cstdint>

#include "Kernel/Counted.h"

namespace Geometry {

class Spline : public Kernel::Countable {
public:
    enum class Profile : int32_t { Linear = 0 };

    explicit Spline(Profile profile) : m_profile(profile) { ++s_live; }
    ~Spline() override { --s_live; }
    // A new spline of the profile's default shape.
    static Kernel::Counted<Spline> GetDefaultProfile(Profile profile);
    Profile GetProfile() const { return m_profile; }

    // Stand-in: splines alive now, so tests can see that none is left behind.
    static long LiveCount() { return s_live.load(); }

private:
    Profile m_profile;
    static inline std::atomic<long> s_live{0};
};

}  // namespace Geometry
