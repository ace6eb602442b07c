#pragma once

// What the command line asks of the editor, checked and converted.

#include "dsp/curve.h"
#include "platform/ui/geometry.h"
#include "session/parameter_args.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zerin::editor {

enum class Overlay { none, browser, save, copy, hover };

struct EditorOptions {
    std::optional<std::string> statePath;
    std::optional<std::string> preset;
    session::CurveChoices curves; // --curve, --feedback-curve, --curve-b, --feedback-curve-b
    std::vector<session::ParameterSetting> settings;
    std::optional<double> scale;      // none: the display's (Xft.dpi / 96), or 1 offscreen
    std::optional<Size> size;         // points; none: as last left (the window), or 900 x 600
    std::optional<std::string> input; // none: the built-in demo signal
    std::optional<std::string> snapshotPath;
    int frames = 0;
    Overlay show = Overlay::none;
    // The curve the canvas edits in a snapshot: slot A's delay curve unless --edit says.
    CurveSlot editSlot = CurveSlot::a;
    CurveKind editKind = CurveKind::delay;
    bool noWindow = false;
};

// Parses argv into `options`. Returns an exit status to end with at once (help printed, or a
// usage error reported), or nothing when the editor should run.
std::optional<int> parseCommandLine(int argc, char** argv, EditorOptions& options);

} // namespace zerin::editor
