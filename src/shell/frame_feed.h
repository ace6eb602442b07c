#pragma once

// What the editor shows of one kind of display frame: the newest the unit made, until it goes
// stale. The unit is told the editor wants the kind only while it does. Main thread.

#include "dsp/display_frame.h"
#include "shell/editor_unit_link.h"

#include <optional>

namespace zerin {

class FrameFeed {
public:
    // Seconds without a new frame after which the last one no longer shows what plays: the
    // audio stopped, or the unit stopped making them. A plug-in's DSP sends ratings every
    // 0.11 to 0.13 s and levels some 30 times a second, so looks that find nothing new keep
    // the last frame steady until then.
    static constexpr double kStaleAfter = 0.5;

    explicit FrameFeed(DisplayFrameKind kind) : kind(kind) {}

    // Tells the link whether the kind is wanted (when that changed) and takes its newest
    // frame; what shows is dropped once stale or no longer wanted. True when it changed.
    bool update(EditorUnitLink& link, double now, bool wanted) {
        if (wanted != toldWanted) link.setFrameWanted(kind, wanted);
        toldWanted = wanted;
        if (std::optional<DisplayFrame> fresh = link.takeFrame(kind); fresh && wanted) {
            frame = std::move(fresh);
            arrival = now;
            return true;
        }
        if (frame && (!wanted || now - arrival >= kStaleAfter)) {
            frame.reset();
            return true;
        }
        return false;
    }
    // The editor goes: the unit need make no more of them.
    void stop(EditorUnitLink* link) {
        if (link != nullptr && toldWanted) link->setFrameWanted(kind, false);
        toldWanted = false;
    }
    const std::optional<DisplayFrame>& shown() const { return frame; }

private:
    DisplayFrameKind kind;
    bool toldWanted = false;
    std::optional<DisplayFrame> frame;
    double arrival = 0.0; // the main queue's time when it came
};

} // namespace zerin
