#include "render_job.h"

#include "audio_file.h"
#include "audiounit/json_input.h"
#include "audiounit/zerin_audio_unit.h"
#include "automation.h"
#include "demo_signal.h"
#include "dsp/factory_curves.h"

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
extern "C" void onInterrupt(int) {
    gInterrupted = 1;
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

std::optional<std::size_t> factoryPresetIndex(const std::string& name) {
    for (std::size_t i = 0; i < std::size(kFactoryCurves); ++i)
        if (kFactoryCurves[i].name == name) return i;
    return std::nullopt;
}

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

} // namespace

std::string defaultOutputPath(const std::optional<std::string>& input) {
    if (!input) return "zerin-demo.wav";
    const fs::path in(*input);
    return (in.parent_path() / (in.stem().string() + "-zerin" + in.extension().string())).string();
}

int runRender(const RenderOptions& options) {
    std::string error;
    Source source;
    if (!options.input) {
        source.demo.emplace();
    } else {
        if (!source.file.open(*options.input, &error)) return fail(error);
        source.info = source.file.info();
        if (source.info.channels > 2)
            return fail(*options.input + ": has " + std::to_string(source.info.channels) +
                        " channels; Zerin renders mono or stereo");
    }
    const AudioInfo info = source.info;
    const std::string output =
        options.output.empty() ? defaultOutputPath(options.input) : options.output;
    if (outputFormatFor(output) == 0)
        return fail(output + ": unknown output format (use .wav, .flac, .ogg or .aiff)",
                    kExitUsage);
    std::error_code ec;
    const fs::path folder = fs::path(output).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec))
        return fail(output + ": the folder " + folder.string() + " does not exist");
    if (options.input && fs::exists(output, ec) && fs::equivalent(*options.input, output, ec))
        return fail(output + ": is the input file; choose another output");
    if (options.saveStatePath &&
        ((options.input && sameFile(*options.input, *options.saveStatePath)) ||
         sameFile(output, *options.saveStatePath)))
        return fail(*options.saveStatePath +
                    ": --save-state would overwrite the input or the output; choose another file");

    std::optional<nlohmann::json> state;
    if (options.statePath && !(state = readJsonFile(*options.statePath, &error)))
        return fail(error);
    std::vector<AutomationEvent> automation;
    if (options.automationPath) {
        auto events = readAutomation(*options.automationPath, info.sampleRate, &error);
        if (!events) return fail(error);
        automation = std::move(*events);
    }
    std::optional<std::size_t> presetIndex;
    if (options.preset && !(presetIndex = factoryPresetIndex(*options.preset))) {
        std::string names;
        for (const auto& c : kFactoryCurves)
            names += (names.empty() ? "" : ", ") + std::string(c.name);
        return fail("--preset: no preset named \"" + *options.preset + "\" (presets: " + names +
                        ")",
                    kExitUsage);
    }

    // Set the unit up as a host does.
    AUError auError;
    const auto unit = ZerinExtensionAudioUnit::create(zerinComponentDescription(), 0, &auError);
    if (!unit) return fail("cannot create the audio unit: " + auError.message);
    unit->setupParameterTree(buildParameterTree(parameterTreeSpec()));
    if (state) unit->setFullState(&*state);
    for (const ParameterSetting& s : options.settings)
        unit->parameterTree()->parameterWithAddress(s.spec->address)->setValue(s.value);
    if (presetIndex)
        unit->setCurrentPreset(AUAudioUnitPreset{static_cast<std::int64_t>(*presetIndex),
                                                 std::string(kFactoryCurves[*presetIndex].name)});
    if (options.curve) unit->setSpectralCurve(*options.curve);

    const AVAudioFormat format{info.sampleRate, static_cast<std::uint32_t>(info.channels)};
    if (!(*unit->inputBusses())[0].setFormat(format, &auError) ||
        !(*unit->outputBusses())[0].setFormat(format, &auError))
        return fail("the audio unit refuses the format: " + auError.message);
    unit->setMaximumFramesToRender(options.blockSize);
    if (options.tempo) {
        const double bpm = *options.tempo;
        unit->setMusicalContextBlock(
            [bpm](double* tempo, double*, std::int64_t*, double*, std::int64_t*, double*) {
                if (tempo != nullptr) *tempo = bpm;
                return true;
            });
    }
    if (!unit->allocateRenderResources(&auError))
        return fail("cannot allocate render resources: " + auError.message);
    unit->setShouldBypassEffect(options.bypass);
    const AUInternalRenderBlock render = unit->internalRenderBlock();

    AudioWriter writer;
    if (!writer.open(output, info, &error)) return fail(error);

    // The whole job in frames: the latency, the input, the tail.
    // A bypassed unit copies its input straight through: there is no latency to trim then.
    const auto latency =
        options.bypass ? std::int64_t{0}
                       : static_cast<std::int64_t>(std::lround(unit->latency() * info.sampleRate));
    const double tail = options.tailSeconds.value_or(unit->tailTime());
    const auto tailFrames = static_cast<std::int64_t>(std::llround(tail * info.sampleRate));
    const std::int64_t inputFrames =
        source.demo ? DemoSignal::kFrames : std::max<std::int64_t>(0, info.frames);
    const std::int64_t total = latency + inputFrames + tailFrames;

    const int channels = info.channels;
    const std::uint32_t block = options.blockSize;
    std::vector<float> pulled(std::size_t(block) * channels);
    std::vector<float> interleaved(std::size_t(block) * channels);
    std::vector<std::vector<float>> outputs(channels, std::vector<float>(block));
    bool inputEnded = false;
    AURenderPullInputBlock pull = [&](AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                                      AUAudioFrameCount frames, std::int64_t,
                                      AudioBufferList* list) -> AUAudioUnitStatus {
        std::int64_t got = inputEnded ? 0 : source.read(pulled.data(), frames);
        if (got < 0) got = 0;
        if (got < frames) inputEnded = true;
        for (int c = 0; c < channels; ++c) {
            auto* dst = static_cast<float*>(list->mBuffers[c].mData);
            for (std::int64_t i = 0; i < got; ++i)
                dst[i] = pulled[i * channels + c];
            std::fill(dst + got, dst + frames, 0.0f);
        }
        return 0;
    };

    std::vector<AURenderEvent> events(automation.size());
    std::size_t nextEvent = 0;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    const bool showProgress = !options.quiet && isatty(STDERR_FILENO);
    const auto started = std::chrono::steady_clock::now();
    auto lastDraw = started;

    for (std::int64_t done = 0; done < total;) {
        if (gInterrupted) return fail("interrupted; " + output + " was not written");
        const auto frames =
            static_cast<AUAudioFrameCount>(std::min<std::int64_t>(block, total - done));
        // This call's events, linked in order.
        const AURenderEvent* head = nullptr;
        AURenderEvent* last = nullptr;
        while (nextEvent < automation.size() && automation[nextEvent].sample < done + frames) {
            AURenderEvent& e = events[nextEvent];
            e = {nullptr,
                 automation[nextEvent].sample,
                 AURenderEventParameter,
                 automation[nextEvent].address,
                 automation[nextEvent].value,
                 0};
            if (last != nullptr)
                last->next = &e;
            else
                head = &e;
            last = &e;
            ++nextEvent;
        }
        AudioBufferList out;
        out.mNumberBuffers = channels;
        for (int c = 0; c < channels; ++c)
            out.mBuffers[c] = {1, frames * static_cast<std::uint32_t>(sizeof(float)),
                               outputs[c].data()};
        AudioTimeStamp timestamp;
        timestamp.mSampleTime = static_cast<double>(done);
        AudioUnitRenderActionFlags flags = 0;
        const AUAudioUnitStatus status = render(&flags, &timestamp, frames, 0, &out, head, &pull);
        if (status != 0) return fail("render failed with status " + std::to_string(status));

        // Drop the latency from the front unless asked to keep it.
        const std::int64_t skip =
            options.keepLatency ? 0 : std::clamp<std::int64_t>(latency - done, 0, frames);
        for (std::int64_t i = skip; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                interleaved[(i - skip) * channels + c] =
                    static_cast<const float*>(out.mBuffers[c].mData)[i];
        if (frames > skip && !writer.write(interleaved.data(), frames - skip, &error))
            return fail(error);
        done += frames;

        if (showProgress) {
            const auto now = std::chrono::steady_clock::now();
            if (now - lastDraw > std::chrono::milliseconds(100) || done == total) {
                drawProgress(static_cast<double>(done) / static_cast<double>(total));
                lastDraw = now;
            }
        }
    }
    if (showProgress) std::fputc('\n', stderr);
    // The state goes first: if it cannot be written the render has failed, and the writer
    // then discards the output instead of leaving it in place.
    if (options.saveStatePath &&
        !writeFileAtomically(*options.saveStatePath, unit->fullState().dump(2) + "\n", &error))
        return fail(error);
    if (!writer.commit(&error)) return fail(error);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    if (!options.quiet) {
        const double seconds = static_cast<double>(inputFrames) / info.sampleRate;
        std::string curve = "default curve";
        if (options.curve)
            curve = "curve of " + std::to_string(options.curve->size()) + " points";
        else if (options.preset)
            curve = "preset \"" + *options.preset + "\"";
        else if (options.statePath)
            curve = "curve from " + *options.statePath;
        std::fprintf(stderr,
                     "zerin-render: %s -> %s: %.2f s, %.0f Hz, %s, %s, %.2f s, %.1fx real time\n",
                     options.input ? options.input->c_str() : "demo signal", output.c_str(),
                     seconds, info.sampleRate, channelsText(channels).c_str(), curve.c_str(), wall,
                     wall > 0.0 ? (static_cast<double>(total) / info.sampleRate) / wall : 0.0);
    }
    return kExitOk;
}

} // namespace zerin::render
