#pragma once

#include "presets/preset.h"

#include <vector>

namespace zerin {

// The four factory presets, in the order of kFactoryCurves, built on first use and never
// changed afterwards. "Init" holds ZerinCurveConstants::defaultCurve() itself (same point
// ids as the editor's initial curve); the others get fresh ids each run, which is why
// factory presets are never stored.
const std::vector<Preset>& factoryPresetList();

} // namespace zerin
