#pragma once

#include "editor_options.h"
#include "session.h"

namespace zerin::editor {

// The editor in a window (or, with --no-window, the audio alone) over a live unit, until the
// window is closed or a termination signal arrives. Returns the exit status.
int runLiveEditor(const EditorOptions& options, SessionPlan& plan);

} // namespace zerin::editor
