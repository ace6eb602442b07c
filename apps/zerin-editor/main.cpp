// zerin-editor: Zerin's editor in a window of its own over a live unit (a JACK client, or a
// file looped through the unit when no server runs), or drawn offscreen into a PNG.

#include "editor_options.h"
#include "live_editor.h"
#include "session.h"
#include "session/exit_status.h"
#include "snapshot.h"

#include <cstdio>
#include <exception>

using namespace zerin::editor;

namespace {

int run(int argc, char** argv) {
    EditorOptions options;
    if (auto status = parseCommandLine(argc, argv, options)) return *status;
    SessionPlan plan;
    if (auto refused = planSession(options, plan)) return *refused;
    return options.snapshotPath ? runSnapshot(options, plan) : runLiveEditor(options, plan);
}

} // namespace

int main(int argc, char** argv) {
    // Nothing is expected to throw past here; should memory run out, say so and fail instead
    // of ending in std::terminate. The state file is only ever replaced whole.
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zerin-editor: %s\n", e.what());
        return zerin::session::kExitFailure;
    }
}
