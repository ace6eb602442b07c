#pragma once

// The options zerin-render and zerin-editor share: what goes into the unit before it runs.
// They apply in one order in both programs, a full state first, then a preset's curve, then
// a curve, then parameter values, so a command line means the same to either.

#include "session/parameter_args.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

namespace zerin::session {

// The options that give each curve of the set, by slot and kind.
inline constexpr const char* kCurveOptions[kCurveSlotCount][kCurveKindCount] = {
    {"--curve", "--feedback-curve"}, {"--curve-b", "--feedback-curve-b"}};

// The shared options as typed; takeUnitOptions checks and converts them.
struct UnitOptionText {
    std::string statePath, preset;
    std::string curves[kCurveSlotCount][kCurveKindCount];
    std::vector<std::string> settings;
};

// Declares --state (whose help, `stateHelp`, says what the program does with the file),
// --preset, --curve and --set.
inline void declareUnitOptions(CLI::App& app, UnitOptionText& text, const std::string& stateHelp) {
    app.add_option("--state", text.statePath, stateHelp)->type_name("PATH");
    app.add_option("--preset", text.preset,
                   "install a preset's curve after the state (factory names first, then yours)")
        ->type_name("NAME");
    app.add_option("--curve", text.curves[0][0],
                   "install this delay curve (slot A) after the state and preset: at most 32 "
                   "points, in any order (they are sorted by frequency)")
        ->type_name("HZ:MS,...");
    app.add_option("--feedback-curve", text.curves[0][1],
                   "slot A's feedback curve: each band's share of the feedback, 0-100 %")
        ->type_name("HZ:PCT,...");
    app.add_option("--curve-b", text.curves[1][0],
                   "slot B's delay curve, which --set morph blends towards")
        ->type_name("HZ:MS,...");
    app.add_option("--feedback-curve-b", text.curves[1][1], "slot B's feedback curve")
        ->type_name("HZ:PCT,...");
    // One value per --set, so that `--set dryWet=100 in.wav` leaves in.wav to INPUT.
    app.add_option("--set", text.settings,
                   "set a parameter in its host units after the state, e.g. dryWet=100 mode=1")
        ->type_name("ID=VALUE")
        ->allow_extra_args(false);
}

// Fills `options`' settings, curves, statePath and preset from what was given; the message
// for the first value that cannot be used otherwise, with `options` then partly filled.
template <typename Options>
std::optional<std::string> takeUnitOptions(const CLI::App& app, const UnitOptionText& text,
                                           Options& options) {
    std::string error;
    for (const std::string& s : text.settings) {
        auto setting = parseSetting(s, &error);
        if (!setting) return "--set " + error;
        options.settings.push_back(*setting);
    }
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k) {
            const char* name = kCurveOptions[s][k];
            if (!app.count(name)) continue;
            auto& curve = options.curves.curves[s][k];
            curve = parseCurve(text.curves[s][k], &error, static_cast<CurveKind>(k));
            if (!curve) return std::string(name) + ": " + error;
        }
    if (app.count("--state")) options.statePath = text.statePath;
    if (app.count("--preset")) options.preset = text.preset;
    return std::nullopt;
}

} // namespace zerin::session
