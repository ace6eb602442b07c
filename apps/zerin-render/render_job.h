#pragma once

#include "session/exit_status.h"
#include "session/parameter_args.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zerin::render {

// The programs' shared pieces (audio files, the demo, unit set-up, exit statuses) are this
// program's own vocabulary.
using namespace zerin::session;

struct RenderOptions {
    std::optional<std::string> input; // none: the built-in demo signal
    std::string output;               // empty: derived from the input
    std::vector<ParameterSetting> settings;
    std::optional<std::string> preset;           // a factory or user preset
    std::optional<std::string> savePresetName;   // save the resulting curve as a user preset
    std::optional<std::string> deletePresetName; // delete the user preset of this name
    session::CurveChoices curves; // --curve, --feedback-curve, --curve-b, --feedback-curve-b
    std::optional<std::string> statePath;
    std::optional<std::string> saveStatePath;
    std::optional<std::string> automationPath;
    std::optional<double> tempo;
    std::uint32_t blockSize = 512;
    std::optional<double> tailSeconds;
    bool keepLatency = false;
    bool bypass = false;
    bool quiet = false;
};

// INPUT's name with "-zerin" before the extension, or zerin-demo.wav.
std::string defaultOutputPath(const std::optional<std::string>& input);

// Renders as the options say (and saves or deletes a user preset, rendering then only when
// there is an input); prints errors (naming the file or option) and, unless quiet, progress
// and a summary on stderr. Returns the exit status.
int runRender(const RenderOptions& options);

} // namespace zerin::render
