#pragma once

#include "editor/curve_point.h"

#include <vector>

namespace zerin::ZerinCurveConstants {

// The five default points, built once per process: every use gets the same point ids.
const std::vector<CurveControlPoint>& defaultCurve();

} // namespace zerin::ZerinCurveConstants
