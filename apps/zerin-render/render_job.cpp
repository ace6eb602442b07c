#include "render_job.h"

#include "audiounit/zerin_audio_unit.h"
#include "automation.h"
#include "dsp/factory_curves.h"
#include "platform/json/bounded_json.h"
#include "presets/preset_manager.h"
#include "session/audio_file.h"
#include "session/demo_signal.h"
#include "session/state_file.h"
#include "session/unit_setup.h"
#include "streaming.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace zerin::render {

namespace {

namespace fs = std::filesystem;

volatile std::sig_atomic_t gInterrupted = 0;
// The first signal asks the render to stop, which discards what it wrote; a second one,
// for a render stuck on a slow disk, removes the unfinished file at once and ends.
extern "C" void onInterrupt(int signal) {
    if (gInterrupted) {
        AtomicFile::removePendingTemporaries();
        _exit(128 + signal);
    }
    gInterrupted = 1;
}

// Every signal by which a terminal, a session manager or a shell ends a job. A broken pipe
// on stderr and a file-size limit become write errors instead of ending the process.
void catchTerminatingSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        std::signal(signal, onInterrupt);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

int fail(const std::string& message, int status = kExitFailure) {
    std::fprintf(stderr, "zerin-render: %s\n", message.c_str());
    return status;
}

// Where the samples come from: a file, or the demo signal.
struct Source {
    AudioReader file;
    std::optional<DemoSignal> demo; // synthesised only when there is no input file
    AudioInfo info{DemoSignal::kSampleRate, DemoSignal::kChannels, DemoSignal::kFrames};
    std::int64_t read(float* interleaved, std::int64_t frames) {
        return demo ? demo->read(interleaved, frames) : file.read(interleaved, frames);
    }
};

void drawProgress(double fraction) {
    constexpr int kWidth = 40;
    const int filled = static_cast<int>(fraction * kWidth);
    std::string bar(kWidth, ' ');
    std::fill(bar.begin(), bar.begin() + filled, '#');
    std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), static_cast<int>(fraction * 100.0));
}

// Two names for one file, whether or not it exists yet.
bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec, ec2;
    if (fs::equivalent(a, b, ec)) return true;
    const fs::path ca = fs::weakly_canonical(a, ec);
    const fs::path cb = fs::weakly_canonical(b, ec2);
    return !ec && !ec2 && ca == cb;
}

std::string channelsText(int channels) {
    return channels == 1 ? "mono" : "stereo";
}

// Everything a job needs, checked before anything is written.
struct Plan {
    Source source;
    std::string output;
    std::optional<session::StateFile> state;
    std::vector<AutomationEvent> automation;
    std::optional<PresetManager> presets;
    std::optional<PresetSelection> preset;
    bool render = true;
};

// Opens the input (or chooses the demo) and checks where the output and the state go.
std::optional<int> planAudio(const RenderOptions& options, Plan& plan) {
    std::string error;
    if (options.input) {
        if (!plan.source.file.open(*options.input, &error)) return fail(error);
        plan.source.info = plan.source.file.info();
        if (plan.source.info.channels > 2)
            return fail(*options.input + ": has " + std::to_string(plan.source.info.channels) +
                        " channels; Zerin renders mono or stereo");
    } else if (plan.render) {
        plan.source.demo.emplace();
    }
    if (!plan.render) return std::nullopt;

    plan.output = options.output.empty() ? defaultOutputPath(options.input) : options.output;
    const std::string& output = plan.output;
    if (outputFormatFor(output) == 0)
        return fail(output + ": unknown output format (use .wav, .flac, .ogg or .aiff)",
                    kExitUsage);
    std::error_code ec;
    const fs::path folder = fs::path(output).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec))
        return fail(output + ": the folder " + folder.string() + " does not exist");
    if (options.input && sameFile(*options.input, output))
        return fail(output + ": is the input file; choose another output");
    if (options.saveStatePath &&
        ((options.input && sameFile(*options.input, *options.saveStatePath)) ||
         sameFile(output, *options.saveStatePath)))
        return fail(*options.saveStatePath + ": --save-state would overwrite the input or "
                                             "the output; choose another file");
    return std::nullopt;
}

// Reads the state and automation files the options name.
std::optional<int> planDocuments(const RenderOptions& options, Plan& plan) {
    std::string error;
    if (options.statePath) {
        if (!(plan.state = session::readStateFile(*options.statePath, &error))) return fail(error);
        for (const std::string& warning : plan.state->warnings)
            std::fprintf(stderr, "zerin-render: warning: %s: %s\n", options.statePath->c_str(),
                         warning.c_str());
    }
    if (options.automationPath) {
        auto events = readAutomation(*options.automationPath, plan.source.info.sampleRate, &error);
        if (!events) return fail(error);
        plan.automation = std::move(*events);
    }
    return std::nullopt;
}

// Loads the presets when the options use them and finds the ones they name.
std::optional<int> planPresets(const RenderOptions& options, Plan& plan) {
    if (!options.preset && !options.savePresetName && !options.deletePresetName)
        return std::nullopt;
    plan.presets.emplace();
    if (!plan.presets->loadResult() && !options.quiet)
        std::fprintf(stderr, "zerin-render: warning: %s\n",
                     plan.presets->loadResult().message.c_str());
    std::string error;
    if (options.preset) {
        plan.preset = selectPreset(*options.preset, plan.presets->userPresets(), &error);
        if (!plan.preset) return fail("--preset: " + error, kExitUsage);
    }
    if (options.deletePresetName) {
        const auto& user = plan.presets->userPresets();
        if (std::none_of(user.begin(), user.end(),
                         [&](const Preset& p) { return p.name == *options.deletePresetName; }))
            return fail("--delete-preset: no user preset named \"" + *options.deletePresetName +
                            "\"",
                        kExitUsage);
    }
    return std::nullopt;
}

// Everything the options name, checked before anything is written. Returns the exit status
// of the first problem, or nothing when the plan holds.
std::optional<int> makePlan(const RenderOptions& options, Plan& plan) {
    // Saving or deleting a preset is a job of its own unless there is something to render.
    plan.render = options.input || (!options.savePresetName && !options.deletePresetName);
    if (auto refused = planAudio(options, plan)) return refused;
    if (auto refused = planDocuments(options, plan)) return refused;
    return planPresets(options, plan);
}

UnitChoices choicesFor(const RenderOptions& options, const Plan& plan) {
    return {plan.state ? &plan.state->read : nullptr, &options.settings, &plan.preset,
            &options.curves};
}

// Deletes, then saves, the user presets the options name.
int runPresetCommands(const RenderOptions& options, Plan& plan) {
    std::string error;
    PresetManager& presets = *plan.presets;
    if (options.deletePresetName) {
        // Every user preset of that name goes: the store never holds two, but a hand-edited
        // one might.
        for (const Preset& preset : std::vector<Preset>(presets.userPresets())) {
            if (preset.name != *options.deletePresetName) continue;
            if (const StoreResult result = presets.deletePreset(preset); !result)
                return fail(result.message);
        }
        if (!options.quiet)
            std::fprintf(stderr, "zerin-render: deleted user preset \"%s\"\n",
                         options.deletePresetName->c_str());
    }
    if (options.savePresetName) {
        const auto unit = configuredUnit(choicesFor(options, plan), &error);
        if (!unit) return fail(error);
        const CurveSetPoints curves = resultingCurves(*unit);
        if (const StoreResult result = presets.savePreset(*options.savePresetName, curves); !result)
            return fail(result.message);
        if (!options.quiet)
            std::fprintf(stderr, "zerin-render: saved user preset \"%s\" in %s\n",
                         presets.currentPresetName().c_str(), presets.store().file().c_str());
    }
    return kExitOk;
}

// The unit as the options configure it, allocated for the input's format.
std::shared_ptr<ZerinExtensionAudioUnit> preparedUnit(const RenderOptions& options,
                                                      const Plan& plan, std::string* error) {
    auto unit = configuredUnit(choicesFor(options, plan), error);
    if (!unit) return nullptr;
    AUError auError;
    const AudioInfo& info = plan.source.info;
    const AVAudioFormat format{info.sampleRate, static_cast<std::uint32_t>(info.channels)};
    if (!(*unit->inputBusses())[0].setFormat(format, &auError) ||
        !(*unit->outputBusses())[0].setFormat(format, &auError)) {
        *error = "the audio unit refuses the format: " + auError.message;
        return nullptr;
    }
    unit->setMaximumFramesToRender(options.blockSize);
    if (options.tempo) {
        const double bpm = *options.tempo;
        unit->setMusicalContextBlock(
            [bpm](double* tempo, double*, std::int64_t*, double*, std::int64_t*, double*) {
                if (tempo != nullptr) *tempo = bpm;
                return true;
            });
    }
    // Bypassed before allocation, so that the render starts bypassed rather than fading in.
    unit->setShouldBypassEffect(options.bypass);
    if (!unit->allocateRenderResources(&auError)) {
        *error = "cannot allocate render resources: " + auError.message;
        return nullptr;
    }
    return unit;
}

// The job in frames: the latency, the input, the tail. A bypassed unit passes its input
// through with the same latency, so trimmed the output is the input.
struct JobLength {
    std::int64_t latency = 0, input = 0, total = 0;
};

JobLength jobLength(const RenderOptions& options, const Plan& plan,
                    const ZerinExtensionAudioUnit& unit) {
    const double rate = plan.source.info.sampleRate;
    JobLength job;
    job.latency = std::lround(unit.latency() * rate);
    job.input =
        plan.source.demo ? DemoSignal::kFrames : std::max<std::int64_t>(0, plan.source.info.frames);
    const double tail = options.tailSeconds.value_or(unit.tailTime());
    job.total = job.latency + job.input + std::llround(tail * rate);
    return job;
}

// Hands the automation to the render calls: each call gets the events that fall in it,
// linked in order, as a host sends them.
class EventFeed {
public:
    explicit EventFeed(const std::vector<AutomationEvent>& automation)
        : mAutomation(automation), mEvents(automation.size()) {}
    const AURenderEvent* before(std::int64_t end) {
        const AURenderEvent* head = nullptr;
        AURenderEvent* last = nullptr;
        for (; mNext < mAutomation.size() && mAutomation[mNext].sample < end; ++mNext) {
            const AutomationEvent& a = mAutomation[mNext];
            AURenderEvent& e = mEvents[mNext];
            e = {nullptr, a.sample, AURenderEventParameter, a.address, a.value, 0};
            (last != nullptr ? last->next : head) = &e;
            last = &e;
        }
        return head;
    }

private:
    const std::vector<AutomationEvent>& mAutomation;
    std::vector<AURenderEvent> mEvents;
    std::size_t mNext = 0;
};

// A progress bar on a terminal, redrawn at most ten times a second.
class Progress {
public:
    explicit Progress(bool show) : mShow(show) {}
    ~Progress() {
        if (mShow && mDrawn) std::fputc('\n', stderr);
    }
    void update(std::int64_t done, std::int64_t total) {
        if (!mShow) return;
        const auto now = std::chrono::steady_clock::now();
        if (mDrawn && now - mLastDraw <= std::chrono::milliseconds(100) && done != total) return;
        drawProgress(static_cast<double>(done) / static_cast<double>(total));
        mLastDraw = now;
        mDrawn = true;
    }

private:
    bool mShow;
    bool mDrawn = false;
    std::chrono::steady_clock::time_point mLastDraw;
};

// Calls the render block as a host would, block by block, and hands what comes out (the
// latency trimmed unless kept) to `written`. Returns the exit status.
int renderBlocks(const RenderOptions& options, Plan& plan, ZerinExtensionAudioUnit& unit,
                 const JobLength& job, OutputStream& written) {
    const int channels = plan.source.info.channels;
    const std::uint32_t block = options.blockSize;
    std::vector<std::vector<float>> outputs(channels, std::vector<float>(block));
    InputStream input(channels, [&plan](float* interleaved, std::int64_t frames) {
        return plan.source.read(interleaved, frames);
    });
    AURenderPullInputBlock pull = [&](AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                                      AUAudioFrameCount frames, std::int64_t,
                                      AudioBufferList* list) -> AUAudioUnitStatus {
        float* destinations[kMaxBusChannels];
        for (int c = 0; c < channels; ++c)
            destinations[c] = static_cast<float*>(list->mBuffers[c].mData);
        input.take(destinations, frames);
        return 0;
    };
    const AUInternalRenderBlock render = unit.internalRenderBlock();
    EventFeed events(plan.automation);
    Progress progress(!options.quiet && isatty(STDERR_FILENO));

    for (std::int64_t done = 0; done < job.total && !written.failed();) {
        if (gInterrupted) return fail("interrupted; " + plan.output + " was not written");
        const auto frames =
            static_cast<AUAudioFrameCount>(std::min<std::int64_t>(block, job.total - done));
        AudioBufferList out;
        out.mNumberBuffers = channels;
        for (int c = 0; c < channels; ++c)
            out.mBuffers[c] = {1, frames * static_cast<std::uint32_t>(sizeof(float)),
                               outputs[c].data()};
        AudioTimeStamp timestamp;
        timestamp.mSampleTime = static_cast<double>(done);
        AudioUnitRenderActionFlags flags = 0;
        const AUAudioUnitStatus status =
            render(&flags, &timestamp, frames, 0, &out, events.before(done + frames), &pull);
        if (status != 0) return fail("render failed with status " + std::to_string(status));

        const std::int64_t skip =
            options.keepLatency ? 0 : std::clamp<std::int64_t>(job.latency - done, 0, frames);
        const float* rendered[kMaxBusChannels];
        for (int c = 0; c < channels; ++c)
            rendered[c] = static_cast<const float*>(out.mBuffers[c].mData) + skip;
        written.append(rendered, frames - skip);
        done += frames;
        progress.update(done, job.total);
    }
    return kExitOk;
}

void printSummary(const RenderOptions& options, const Plan& plan, const JobLength& job,
                  double wallSeconds) {
    const AudioInfo& info = plan.source.info;
    std::string curve = "default curve";
    if (const auto& drawn = options.curves.curves[0][0])
        curve = "curve of " + std::to_string(drawn->size()) + " points";
    else if (options.preset)
        curve = "preset \"" + *options.preset + "\"";
    else if (options.statePath)
        curve = "curve from " + *options.statePath;
    const double rendered = static_cast<double>(job.total) / info.sampleRate;
    std::fprintf(stderr,
                 "zerin-render: %s -> %s: %.2f s, %.0f Hz, %s, %s, %.2f s, %.1fx real time\n",
                 options.input ? options.input->c_str() : "demo signal", plan.output.c_str(),
                 static_cast<double>(job.input) / info.sampleRate, info.sampleRate,
                 channelsText(info.channels).c_str(), curve.c_str(), wallSeconds,
                 wallSeconds > 0.0 ? rendered / wallSeconds : 0.0);
}

int renderFile(const RenderOptions& options, Plan& plan) {
    std::string error;
    const auto unit = preparedUnit(options, plan, &error);
    if (!unit) return fail(error);
    catchTerminatingSignals();
    AudioWriter writer;
    if (!writer.open(plan.output, plan.source.info, &error)) return fail(error);
    const JobLength job = jobLength(options, plan, *unit);
    const auto started = std::chrono::steady_clock::now();
    {
        OutputStream written(
            plan.source.info.channels,
            [&writer](const float* interleaved, std::int64_t frames, std::string* why) {
                return writer.write(interleaved, frames, why);
            });
        if (const int status = renderBlocks(options, plan, *unit, job, written); status != kExitOk)
            return status;
        if (!written.finish(&error)) return fail(error);
    }
    if (gInterrupted) return fail("interrupted; " + plan.output + " was not written");
    // The state goes first: if it cannot be written the render has failed, and the writer
    // then discards the output instead of leaving it in place.
    if (options.saveStatePath) {
        std::string notice;
        const bool saved = session::writeUnitState(
            *unit, *options.saveStatePath, plan.state ? &*plan.state : nullptr, &notice, &error);
        if (!notice.empty()) std::fprintf(stderr, "zerin-render: %s\n", notice.c_str());
        if (!saved) return fail(error);
    }
    if (!writer.commit(&error)) return fail(error);
    if (!options.quiet)
        printSummary(
            options, plan, job,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    return kExitOk;
}

} // namespace

std::string defaultOutputPath(const std::optional<std::string>& input) {
    if (!input) return "zerin-demo.wav";
    const fs::path in(*input);
    return (in.parent_path() / (in.stem().string() + "-zerin" + in.extension().string())).string();
}

int runRender(const RenderOptions& options) {
    Plan plan;
    if (const auto refused = makePlan(options, plan)) return *refused;
    if (plan.presets)
        if (const int status = runPresetCommands(options, plan); status != kExitOk) return status;
    return plan.render ? renderFile(options, plan) : kExitOk;
}

} // namespace zerin::render
