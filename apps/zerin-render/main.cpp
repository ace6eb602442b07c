// zerin-render: renders an audio file (or a built-in demo) through Zerin exactly as a host
// would: the real audio unit, its render block, parameter events at their sample.

#include "dsp/factory_curves.h"
#include "dsp/kernel.h"
#include "presets/preset_manager.h"
#include "render_job.h"
#include "session/empty_values.h"
#include "session/program_info.h"
#include "session/unit_options.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>

using namespace zerin::render;

namespace {

// Factory presets first, then the user's, each marked.
int listPresetsCommand() {
    for (const auto& c : zerin::kFactoryCurves)
        std::printf("%.*s (factory)\n", static_cast<int>(c.name.size()), c.name.data());
    const zerin::PresetManager presets;
    for (const zerin::Preset& p : presets.userPresets())
        std::printf("%s (user)\n", p.name.c_str());
    if (!presets.loadResult())
        std::fprintf(stderr, "zerin-render: warning: %s\n", presets.loadResult().message.c_str());
    return kExitOk;
}

// What the command line says, as typed; `renderOptions` checks and converts it.
struct CommandLine {
    RenderOptions options;
    UnitOptionText unit;
    std::string input;
    std::string savePreset, deletePreset, saveStatePath, automationPath;
    double tempo = 0.0, tail = 0.0;
    bool listParameters = false, listPresets = false;
};

// The manual page beside the option table: its examples are the README's.
const ManualPage& manual() {
    static const ManualPage page{
        "render audio through Zerin, the spectral delay",
        "[OPTIONS] [INPUT]",
        {{"EXAMPLES",
          {{"zerin-render guitar.wav", "writes guitar-zerin.wav with the default settings"},
           {"zerin-render loop.flac -o wash.flac --preset \"Shimmer Wash\" --set dryWet=70 "
            "--set feedback=55",
            "a factory preset's curve, two knobs set"},
           {"zerin-render drums.wav --set mode=freeze --set sourceSensitivity=80", "freeze mode"},
           {"zerin-render voice.wav --curve 100:0,1000:600,8000:1500 --tempo 96 --set "
            "tempoSync=on",
            "a curve of your own, the LFO synced to 96 BPM"},
           {"zerin-render pad.wav --curve-b 100:1500,8000:50 --feedback-curve 200:20,3000:100 "
            "--set morph=50",
            "halfway to a second delay curve, the feedback kept to the highs"},
           {"zerin-render --list-parameters", "ids, ranges, defaults and units"},
           {"zerin-render --curve 60:900,400:0,5000:1200 --save-preset Bloom",
            "keeps a curve among your presets; nothing is rendered"},
           {"zerin-render take2.wav --preset Bloom", "uses it (factory names are found first)"},
           {"zerin-render --list-presets", "factory presets and your own, marked"},
           {"zerin-render --delete-preset Bloom", "deletes your preset"}}}},
        {{"INPUT-zerin.EXT, zerin-demo.wav",
          "the output when -o is not given: beside INPUT in its format, or the demo's render "
          "in the current folder. Outputs and states are written whole or not at all."},
         {"--state PATH, --save-state PATH",
          "a full state (JSON), as zerin-editor and --save-state write it; it goes where PATH "
          "says"}}};
    return page;
}

void declareOptions(CLI::App& app, CommandLine& line) {
    app.get_formatter()->column_width(28);
    app.add_option("INPUT", line.input,
                   "mono or stereo audio file; without it a built-in demo signal is rendered");
    app.add_option("-o,--output", line.options.output,
                   "output file (.wav float, .flac 24-bit, .ogg, .aiff); default: INPUT-zerin.EXT "
                   "or zerin-demo.wav")
        ->type_name("FILE");
    declareUnitOptions(app, line.unit,
                       "restore a full state (JSON) first; --set, --preset and --curve apply "
                       "after it");
    app.add_option("--save-preset", line.savePreset,
                   "save the resulting curve (after --state, --preset, --curve) as your preset; "
                   "without INPUT nothing is rendered")
        ->type_name("NAME");
    app.add_option("--delete-preset", line.deletePreset, "delete your preset of this name")
        ->type_name("NAME");
    app.add_option("--save-state", line.saveStatePath,
                   "write the unit's full state after rendering")
        ->type_name("PATH");
    app.add_option("--automation", line.automationPath,
                   "JSON array of {\"time\" | \"sample\", \"id\", \"value\"} render events")
        ->type_name("PATH");
    app.add_option("--tempo", line.tempo, "host tempo for tempo-synced LFO rates")
        ->type_name("BPM");
    app.add_option("--block-size", line.options.blockSize, "frames per render call (default 512)")
        ->type_name("N");
    app.add_option("--tail", line.tail,
                   "keep rendering this long after the input ends (default: the "
                   "unit's tail, 2.5 s)")
        ->type_name("SECONDS");
    app.add_flag("--keep-latency", line.options.keepLatency,
                 "keep the unit's latency at the start instead of trimming it");
    app.add_flag("--bypass", line.options.bypass, "render with the unit bypassed");
    app.add_flag("--list-parameters", line.listParameters, "print the parameter table and exit");
    app.add_flag("--list-presets", line.listPresets, "print the presets and exit");
    app.add_flag("-q,--quiet", line.options.quiet, "no progress bar and no summary");
    declareProgramInfo(app, manual());
}

int usage(const std::string& message) {
    std::fprintf(stderr, "zerin-render: %s\n", message.c_str());
    return kExitUsage;
}

int refuseEmptyValues(const CLI::App& app) {
    if (const auto option = optionWithEmptyValue(app))
        return usage(*option + ": the value is empty");
    return kExitOk;
}

// Checks the values and fills `line.options`; a usage status at the first bad one.
int renderOptions(const CLI::App& app, CommandLine& line) {
    RenderOptions& options = line.options;
    if (const auto error = takeUnitOptions(app, line.unit, options)) return usage(*error);
    if (app.count("--tempo")) {
        // The unit ignores a tempo outside its range and keeps 120 BPM: a render at a tempo
        // other than the one asked for would pass unnoticed.
        if (!(line.tempo >= zerin::kMinHostTempo && line.tempo <= zerin::kMaxHostTempo))
            return usage("--tempo: give a tempo from 1 to 1000 BPM");
        options.tempo = line.tempo;
    }
    if (app.count("--tail")) {
        if (!(line.tail >= 0.0 && line.tail <= 3600.0))
            return usage("--tail: give 0 to 3600 seconds");
        options.tailSeconds = line.tail;
    }
    if (options.blockSize < 1 || options.blockSize > 65536)
        return usage("--block-size: give 1 to 65536 frames");
    if (app.count("INPUT")) options.input = line.input;
    if (app.count("--save-preset")) options.savePresetName = line.savePreset;
    if (app.count("--delete-preset")) options.deletePresetName = line.deletePreset;
    if (app.count("--save-state")) options.saveStatePath = line.saveStatePath;
    if (app.count("--automation")) options.automationPath = line.automationPath;
    return kExitOk;
}

int run(int argc, char** argv) {
    CLI::App app{"Render audio through Zerin, the spectral delay.", "zerin-render"};
    CommandLine line;
    declareOptions(app, line);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? kExitOk : kExitUsage;
    }
    if (const int status = refuseEmptyValues(app); status != kExitOk) return status;
    if (line.listParameters) {
        std::fputs(parameterTable().c_str(), stdout);
        return kExitOk;
    }
    if (line.listPresets) return listPresetsCommand();
    if (const int status = renderOptions(app, line); status != kExitOk) return status;
    return runRender(line.options);
}

} // namespace

int main(int argc, char** argv) {
    // Nothing is expected to throw past here; should memory run out, say so and fail
    // instead of ending in std::terminate. The output is written out of sight, so nothing
    // half-written is left either way.
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zerin-render: %s\n", e.what());
        return kExitFailure;
    }
}
