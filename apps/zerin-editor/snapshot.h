#pragma once

#include "editor_options.h"
#include "session.h"

namespace zerin::editor {

// Draws the editor offscreen into options.snapshotPath, with no display: the unit first
// hears the start of the input (or the demo), then the editor runs options.frames display
// frames on a fixed clock. Returns the exit status.
int runSnapshot(const EditorOptions& options, const SessionPlan& plan);

} // namespace zerin::editor
