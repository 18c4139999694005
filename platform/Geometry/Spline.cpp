#include "Geometry/Spline.h"

namespace Geometry {

Kernel::Counted<Spline> Spline::GetDefaultProfile(Profile profile) { return Kernel::MakeCounted<Spline>(profile); }

}  // namespace Geometry
