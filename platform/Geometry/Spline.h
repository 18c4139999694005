// Splines of the geometry library, as far as the curve adjustments use them.
#pragma once
#include <cstdint>

#include "Kernel/Counted.h"
#include "Kernel/LiveCount.h"

namespace Geometry {

class Spline : public Kernel::Countable, public Kernel::LiveCount<Spline> {
public:
    enum class Profile : int32_t { Linear = 0 };

    explicit Spline(Profile profile) : m_profile(profile) {}
    // A new spline of the profile's default shape.
    static Kernel::Counted<Spline> GetDefaultProfile(Profile profile);
    Profile GetProfile() const { return m_profile; }

private:
    Profile m_profile;
};

}  // namespace Geometry
