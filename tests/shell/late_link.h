#pragma once

#include "shell/in_process_unit_link.h"

#include <string>

namespace zerin::test {

// A unit that has not yet said what it holds, as a plug-in's DSP the host does not run: the
// link knows nothing until it answers. Counts the curves the editor sends.
class LateLink : public InProcessUnitLink {
public:
    using InProcessUnitLink::InProcessUnitLink;
    bool knowsUnitState() const override { return answered; }
    CurvePoints getCurve(CurveSlot slot, CurveKind kind) const override {
        return answered ? InProcessUnitLink::getCurve(slot, kind) : CurvePoints{};
    }
    std::string presetName() const override {
        return answered ? InProcessUnitLink::presetName() : "Init";
    }
    void setCurve(CurveSlot slot, CurveKind kind, const CurvePoints& points) override {
        ++curvesSent;
        InProcessUnitLink::setCurve(slot, kind, points);
    }
    void answer() {
        answered = true;
        if (onExternalChange) onExternalChange();
    }
    bool answered = false;
    int curvesSent = 0;
};

} // namespace zerin::test
