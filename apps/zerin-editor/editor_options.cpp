#include "editor_options.h"

#include "session/empty_values.h"
#include "session/exit_status.h"
#include "session/program_info.h"
#include "session/unit_options.h"
#include "shell/editor_window_size.h"

#include <CLI/CLI.hpp>

#include <cstdio>

namespace zerin::editor {

namespace {

using session::kExitOk;
using session::kExitUsage;

// What the command line says, as typed; `convert` checks it.
struct Typed {
    session::UnitOptionText unit;
    std::string input, snapshot, show, edit, size;
    double scale = 1.0;
    int frames = 0;
    bool noWindow = false;
};

constexpr const char* kDescription =
    "Zerin's editor in a window of its own, over a live unit. With a JACK server running it "
    "is a JACK client named \"zerin\" (ports in_l, in_r, out_l, out_r, and midi_in, whose notes "
    "hold the freeze); without one it loops "
    "INPUT (or a built-in demo) through the unit in real time, with no audio output, so the "
    "editor shows what it hears. Ctrl+S saves the state (with --state).";

// The manual page beside the option table: its examples are the README's.
const session::ManualPage& manual() {
    static const session::ManualPage page{
        "Zerin's spectral delay editor over a live unit",
        "[OPTIONS]",
        {{"EXAMPLES",
          {{"zerin-editor", "the editor over a live unit"},
           {"zerin-editor --state ~/wash.json", "restores it, saves it back on Ctrl+S and on quit"},
           {"zerin-editor --preset \"Shimmer Wash\" --set dryWet=70 --input loop.flac",
            "a factory preset's curve over a file of your own"},
           {"zerin-editor --no-window --state live.json", "JACK audio only, until Ctrl-C or kill"},
           {"zerin-editor --snapshot editor.png --frames 120 --show browser",
            "draws the editor with its preset browser into a PNG; no display needed"}}}},
        {{"--state PATH",
          "the full state (JSON): restored at start and written back whole on Ctrl+S and on "
          "quit; it goes where PATH says. zerin-render reads it with --state and writes one "
          "with --save-state."}}};
    return page;
}

void declareOptions(CLI::App& app, Typed& typed) {
    app.get_formatter()->column_width(28);
    session::declareUnitOptions(
        app, typed.unit,
        "restore a full state (JSON) and save it back on Ctrl+S and on quit; a file that does "
        "not exist yet starts fresh and is created on save; one that cannot be read is an "
        "error and is left alone");
    app.add_option("--scale", typed.scale,
                   "pixels per point, 0.5 to 4 (default: the display's Xft.dpi / 96, or 1)")
        ->type_name("S");
    app.add_option("--size", typed.size,
                   "the editor's size in points, at least 900x520 (default: the window as you "
                   "last left it, or 900x600; snapshots 900x600)")
        ->type_name("WxH");
    app.add_option("--input", typed.input,
                   "audio file the unit hears without a JACK server and in snapshots; default: "
                   "a built-in demo signal")
        ->type_name("FILE");
    app.add_option("--snapshot", typed.snapshot,
                   "draw the editor offscreen into a PNG and exit (no display needed; the state "
                   "is not written back)")
        ->type_name("OUT.png");
    app.add_option("--frames", typed.frames,
                   "with --snapshot: advance this many display frames (60 Hz) first")
        ->type_name("N");
    app.add_option("--show", typed.show,
                   "with --snapshot: open the preset browser, the save dialog or the copy menu, "
                   "or hover the canvas at 1 kHz (its readout)")
        ->type_name("browser|save|copy|hover");
    app.add_option("--edit", typed.edit,
                   "with --snapshot: the curve the canvas edits, a slot and a kind (default: "
                   "a/delay)")
        ->type_name("a|b/delay|feedback");
    app.add_flag("--no-window", typed.noWindow,
                 "run the audio without a window until interrupted (SIGINT or SIGTERM)");
    session::declareProgramInfo(app, manual());
}

// "1280x800": both sides whole numbers within what the editor can take.
std::optional<Size> parseEditorSize(const std::string& text) {
    int width = 0, height = 0, used = 0;
    if (std::sscanf(text.c_str(), "%5dx%5d%n", &width, &height, &used) != 2 ||
        used != static_cast<int>(text.size()))
        return std::nullopt;
    const Size size{static_cast<double>(width), static_cast<double>(height)};
    if (usableEditorSize(size) != size) return std::nullopt;
    return size;
}

int usage(const std::string& message) {
    std::fprintf(stderr, "zerin-editor: %s\n", message.c_str());
    return kExitUsage;
}

std::optional<int> refuseEmptyValues(const CLI::App& app) {
    if (const auto option = session::optionWithEmptyValue(app))
        return usage(*option + ": the value is empty");
    return std::nullopt;
}

std::optional<int> convertAudioChoices(const CLI::App& app, const Typed& typed,
                                       EditorOptions& options) {
    if (const auto error = session::takeUnitOptions(app, typed.unit, options)) return usage(*error);
    if (app.count("--input")) options.input = typed.input;
    return std::nullopt;
}

std::optional<int> convertViewChoices(const CLI::App& app, const Typed& typed,
                                      EditorOptions& options) {
    if (app.count("--scale")) {
        if (!(typed.scale >= 0.5 && typed.scale <= 4.0)) return usage("--scale: give 0.5 to 4");
        options.scale = typed.scale;
    }
    if (app.count("--size")) {
        const std::optional<Size> size = parseEditorSize(typed.size);
        if (!size)
            return usage("--size: give WIDTHxHEIGHT, at least 900x520 and at most 8192x8192");
        options.size = size;
    }
    const bool snapshot = app.count("--snapshot") > 0;
    if (snapshot) options.snapshotPath = typed.snapshot;
    if (app.count("--frames")) {
        if (!snapshot) return usage("--frames: only with --snapshot");
        if (typed.frames < 0 || typed.frames > 36000) return usage("--frames: give 0 to 36000");
        options.frames = typed.frames;
    }
    if (app.count("--show")) {
        if (!snapshot) return usage("--show: only with --snapshot");
        if (typed.show == "browser")
            options.show = Overlay::browser;
        else if (typed.show == "save")
            options.show = Overlay::save;
        else if (typed.show == "copy")
            options.show = Overlay::copy;
        else if (typed.show == "hover")
            options.show = Overlay::hover;
        else
            return usage("--show: give browser, save, copy or hover");
    }
    if (app.count("--edit")) {
        if (!snapshot) return usage("--edit: only with --snapshot");
        const std::string& edit = typed.edit;
        const std::size_t slash = edit.find('/');
        const std::string slot = edit.substr(0, slash);
        const std::string kind = slash == std::string::npos ? "" : edit.substr(slash + 1);
        if ((slot != "a" && slot != "b") || (kind != "delay" && kind != "feedback"))
            return usage("--edit: give a slot and a kind, e.g. a/delay or b/feedback");
        options.editSlot = slot == "a" ? CurveSlot::a : CurveSlot::b;
        options.editKind = kind == "delay" ? CurveKind::delay : CurveKind::feedback;
    }
    if (typed.noWindow && snapshot) return usage("--no-window: not with --snapshot");
    options.noWindow = typed.noWindow;
    return std::nullopt;
}

} // namespace

std::optional<int> parseCommandLine(int argc, char** argv, EditorOptions& options) {
    CLI::App app{kDescription, "zerin-editor"};
    Typed typed;
    declareOptions(app, typed);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? kExitOk : kExitUsage;
    }
    if (auto refused = refuseEmptyValues(app)) return refused;
    if (auto refused = convertAudioChoices(app, typed, options)) return refused;
    return convertViewChoices(app, typed, options);
}

} // namespace zerin::editor
