#include "session.h"

#include "dsp/factory_curves.h"
#include "presets/preset_manager.h"
#include "session/exit_status.h"

#include <cstdio>
#include <filesystem>

namespace zerin::editor {

namespace {

namespace fs = std::filesystem;

int fail(const std::string& message, int status = session::kExitFailure) {
    std::fprintf(stderr, "zerin-editor: %s\n", message.c_str());
    return status;
}

// A musician pointing --state at a new name expects the editor to start fresh and keep the
// work there; anything that exists but cannot be used is refused and left as it is, so a
// session never overwrites a file it did not understand.
std::optional<int> readState(const std::string& path, SessionPlan& plan) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        const fs::path folder = fs::path(path).parent_path();
        if (!folder.empty() && !fs::is_directory(folder, ec))
            return fail(path + ": the folder " + folder.string() + " does not exist");
        return std::nullopt;
    }
    std::string error;
    if (!(plan.state = session::readStateFile(path, &error)))
        return fail(error + "; left untouched");
    for (const std::string& warning : plan.state->warnings)
        std::fprintf(stderr, "zerin-editor: warning: %s: %s\n", path.c_str(), warning.c_str());
    return std::nullopt;
}

} // namespace

std::optional<int> planSession(const EditorOptions& options, SessionPlan& plan) {
    if (options.statePath)
        if (auto refused = readState(*options.statePath, plan)) return refused;
    if (options.preset) {
        const PresetManager presets;
        if (!presets.loadResult())
            std::fprintf(stderr, "zerin-editor: warning: %s\n",
                         presets.loadResult().message.c_str());
        std::string error;
        plan.preset = session::selectPreset(*options.preset, presets.userPresets(), &error);
        if (!plan.preset) return fail("--preset: " + error, session::kExitUsage);
    }
    return std::nullopt;
}

void applyChoices(const EditorOptions& options, const SessionPlan& plan,
                  ZerinExtensionAudioUnit& unit) {
    if (plan.state) unit.setFullState(&plan.state->read);
    for (const session::ParameterSetting& s : options.settings)
        unit.parameterTree()->parameterWithAddress(s.spec->address)->setValue(s.value);
    // The editor shows a user preset's name, as it does a factory one's.
    if (plan.preset) session::applyPreset(unit, *plan.preset, *options.preset);
    session::applyCurves(unit, options.curves);
}

bool saveState(const ZerinExtensionAudioUnit& unit, const std::string& path, SessionPlan& plan,
               std::string* notice, std::string* error) {
    return session::writeUnitState(unit, path, plan.state ? &*plan.state : nullptr, notice, error);
}

} // namespace zerin::editor
