// What zerin-render writes: alignment with the input, automation on its sample, block-size
// invariance, latency and tail lengths, state files, formats, the lists and the demo.

#include "audiounit/parameters.h"
#include "dsp/factory_curves.h"
#include "render_cli.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace zerin::test {
namespace {

constexpr std::size_t kImpulseAt = 5000;

// The wet path with nothing but the STFT in it: every frame passes through unchanged.
const std::vector<std::string> kTransparentWet = {"--set",   "dryWet=100",  "--set", "mode=delay",
                                                  "--set",   "feedback=0",  "--set", "lfoDepth=0",
                                                  "--curve", "20:0,20000:0"};

Audio impulses(int channels) {
    Audio audio = silence(channels, 12000);
    for (int c = 0; c < channels; ++c)
        audio.channels[c][kImpulseAt] = c == 0 ? 0.5f : -0.25f;
    return audio;
}

Audio noise(int channels, std::size_t frames, double rate = 44100.0) {
    Audio audio = silence(channels, frames, rate);
    std::uint32_t x = 12345u;
    for (auto& channel : audio.channels)
        for (float& v : channel) {
            x = x * 1664525u + 1013904223u;
            v = 0.4f * (static_cast<float>(x >> 8) / 8388608.0f - 1.0f);
        }
    return audio;
}

TEST_F(RenderCli, TheDryPathLeavesAnImpulseOnItsSampleAtUnitGain) {
    for (const int channels : {1, 2}) {
        const Audio input = impulses(channels);
        writeAudio(dir / "in.take1.wav", input);
        // Options before INPUT, as people type them; no -o: the name is derived from INPUT.
        const RunResult run = render({"--tail", "0", "-q", "--set", "dryWet=0", "in.take1.wav"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(listing(), (std::set<std::string>{"in.take1.wav", "in.take1-zerin.wav"}));
        const Audio out = readAudio(dir / "in.take1-zerin.wav");
        EXPECT_EQ(out.rate, 44100.0);
        EXPECT_EQ(out.channels, input.channels) << channels << " channels";
        fs::remove(dir / "in.take1-zerin.wav");
    }
}

TEST_F(RenderCli, TheWetPathLeavesAnImpulseOnItsSampleAtEightThirds) {
    writeAudio(dir / "in.wav", impulses(2));
    std::vector<std::string> args = {"in.wav", "--tail", "0"};
    args.insert(args.end(), kTransparentWet.begin(), kTransparentWet.end());
    const Audio out = rendered(args);
    ASSERT_EQ(out.frames(), 12000u);
    const float heights[] = {0.5f, -0.25f};
    for (int c = 0; c < 2; ++c) {
        EXPECT_NEAR(out.channels[c][kImpulseAt], heights[c] * 8.0f / 3.0f, 1e-3f);
        for (std::size_t i = 0; i < out.frames(); ++i) {
            if (i != kImpulseAt) {
                ASSERT_NEAR(out.channels[c][i], 0.0f, 1e-4f) << i;
            }
        }
    }
}

TEST_F(RenderCli, LatencyIsTrimmedUnlessKeptAndTheTailFollowsTheInput) {
    const Audio input = noise(2, 10000);
    writeAudio(dir / "in.wav", input);
    const Audio trimmed = rendered({"in.wav", "--tail", "0"});
    const Audio kept = rendered({"in.wav", "--tail", "0", "--keep-latency"}, "kept.wav");
    ASSERT_EQ(trimmed.frames(), 10000u);
    ASSERT_EQ(kept.frames(), 10000u + 2047u);
    for (int c = 0; c < 2; ++c) {
        EXPECT_TRUE(std::all_of(kept.channels[c].begin(), kept.channels[c].begin() + 2047,
                                [](float v) { return v == 0.0f; }));
        EXPECT_TRUE(std::equal(trimmed.channels[c].begin(), trimmed.channels[c].end(),
                               kept.channels[c].begin() + 2047));
    }
    // Bypassed, the unit adds no delay, so nothing may be trimmed either.
    EXPECT_EQ(rendered({"in.wav", "--tail", "0", "--bypass"}, "bypassed.wav").channels,
              input.channels);
    EXPECT_EQ(rendered({"in.wav", "--tail", "0.25"}).frames(), 10000u + 11025u);
    const Audio full = rendered({"in.wav"});
    ASSERT_EQ(full.frames(), 10000u + 110250u);
    // The tail carries the delayed signal on past the input's end.
    EXPECT_GT(std::abs(full.channels[0][10000 + 20000]), 0.0f);
}

TEST_F(RenderCli, EveryBlockSizeWritesTheSameSamples) {
    writeAudio(dir / "in.wav", noise(2, 44100));
    // Events that fall inside blocks, on their edges and between them.
    std::ofstream(dir / "auto.json") << R"([
        {"sample": 777, "id": "feedback", "value": 80},
        {"sample": 4096, "id": "mode", "value": 2},
        {"sample": 4096, "id": "outputGain", "value": -3},
        {"time": 0.5, "id": "mode", "value": 1},
        {"sample": 30001, "id": "dryWet", "value": 90}])";
    const std::vector<std::string> common = {"in.wav", "--tail", "0.3", "--automation",
                                             "auto.json"};
    auto withBlock = [&](const char* size) {
        std::vector<std::string> args = common;
        args.insert(args.end(), {"--block-size", size});
        return rendered(args);
    };
    const Audio reference = withBlock("512");
    ASSERT_EQ(reference.frames(), 44100u + 13230u);
    for (const char* size : {"1", "63", "4096"})
        EXPECT_EQ(withBlock(size).channels, reference.channels) << "block size " << size;
}

TEST_F(RenderCli, AutomationLandsOnItsSample) {
    constexpr double kRate = 48000.0;
    constexpr std::size_t kAt = 6000;
    Audio steady = silence(1, 16000, kRate);
    std::fill(steady.channels[0].begin(), steady.channels[0].end(), 0.5f);
    writeAudio(dir / "in.wav", steady);
    std::ofstream(dir / "by-sample.json")
        << R"([{"sample": 6000, "id": "inputGain", "value": -24}])";
    std::ofstream(dir / "by-time.json") << R"([{"time": 0.125, "id": "inputGain", "value": -24}])";

    // The input gain shapes what enters the spectral path, so in the aligned output its
    // step shows from the input sample it was set at.
    std::vector<std::string> wet = {"in.wav", "--tail", "0"};
    wet.insert(wet.end(), kTransparentWet.begin(), kTransparentWet.end());
    const Audio plain = rendered(wet);
    wet.insert(wet.end(), {"--automation", "by-sample.json"});
    const Audio bySample = rendered(wet, "by-sample.wav");
    wet.back() = "by-time.json";
    const Audio byTime = rendered(wet, "by-time.wav");
    // FFT rounding spreads a few ulps around the step; the step itself is 1000 times larger.
    EXPECT_EQ(firstDifference(plain.channels[0], bySample.channels[0], 1e-5f), kAt);
    EXPECT_EQ(byTime.channels, bySample.channels);

    // The output gain acts on the sample leaving the unit at that moment: with the latency
    // kept, the file's timeline is the unit's, and the step starts exactly there.
    std::ofstream(dir / "gain.json") << R"([{"sample": 6000, "id": "outputGain", "value": -24}])";
    const std::vector<std::string> dry = {"in.wav",         "--tail", "0",
                                          "--keep-latency", "--set",  "dryWet=0"};
    std::vector<std::string> automated = dry;
    automated.insert(automated.end(), {"--automation", "gain.json"});
    const Audio before = rendered(dry, "dry.wav");
    const Audio after = rendered(automated, "dry-gain.wav");
    EXPECT_EQ(firstDifference(before.channels[0], after.channels[0]), kAt);
    EXPECT_LT(after.channels[0].back(), before.channels[0].back() * 0.5f);
}

TEST_F(RenderCli, ASavedStateRendersTheSameAgain) {
    writeAudio(dir / "in.wav", noise(2, 20000));
    const Audio first = rendered({"in.wav", "--tail", "0.2", "--set", "mode=Freeze", "--set",
                                  "tempoSync=on", "--set", "dryWet=80", "--curve",
                                  "40:100,400:900,4000:300", "--save-state", "state.json"});
    const nlohmann::json state = nlohmann::json::parse(readText(dir / "state.json"));
    EXPECT_EQ(state["parameters"]["mode"], 1);
    EXPECT_EQ(state["parameters"]["tempoSync"], 1);
    EXPECT_EQ(state["parameters"]["dryWet"], 80);
    EXPECT_EQ(state["spectralCurve"].size(), 3u);
    EXPECT_EQ(state["spectralCurve"][1]["delay"], 900);
    const Audio second =
        rendered({"in.wav", "--tail", "0.2", "--state", "state.json"}, "again.wav");
    EXPECT_EQ(second.channels, first.channels);
}

TEST_F(RenderCli, PresetAndTempoReachTheUnit) {
    writeAudio(dir / "in.wav", noise(2, 20000));
    rendered({"in.wav", "--tail", "0", "--preset", "Granular Haze", "--save-state", "p.json"});
    const nlohmann::json curve = nlohmann::json::parse(readText(dir / "p.json"))["spectralCurve"];
    ASSERT_EQ(curve.size(), kFactoryCurves[2].points.size());
    for (std::size_t i = 0; i < curve.size(); ++i)
        EXPECT_EQ(curve[i]["delay"].get<float>(), kFactoryCurves[2].points[i].delay);

    // A synced 1 Hz LFO snaps to a division of the beat: 1 Hz at 120 BPM (the tempo a unit
    // assumes without a musical context), 0.75 Hz at 90 BPM.
    auto synced = [&](const char* bpm, const char* name) {
        std::vector<std::string> args = {"in.wav",       "--tail", "0",           "--set",
                                         "tempoSync=on", "--set",  "lfoDepth=100"};
        if (bpm != nullptr) args.insert(args.end(), {"--tempo", bpm});
        return rendered(args, name).channels;
    };
    const auto none = synced(nullptr, "none.wav");
    EXPECT_EQ(none, synced("120", "120.wav"));
    EXPECT_NE(none, synced("90", "90.wav"));
}

TEST_F(RenderCli, CompressedAndAiffOutputsReadBack) {
    writeAudio(dir / "in.wav", impulses(2));
    for (const char* name : {"out.flac", "out.ogg", "out.aiff"}) {
        const Audio out = rendered({"in.wav", "--tail", "0", "--set", "dryWet=0"}, name);
        EXPECT_EQ(out.channels.size(), 2u) << name;
        EXPECT_EQ(out.rate, 44100.0) << name;
        if (std::string(name) != "out.ogg") {
            ASSERT_EQ(out.frames(), 12000u) << name;
            EXPECT_NEAR(out.channels[1][kImpulseAt], -0.25f, 1e-5f) << name;
        }
    }
}

TEST_F(RenderCli, ListsEveryParameterAndPreset) {
    const RunResult parameters = render({"--list-parameters"});
    EXPECT_EQ(parameters.status, 0);
    for (const ParameterSpec* p : allParameterSpecs())
        EXPECT_NE(parameters.out.find(p->identifier + " "), std::string::npos) << p->identifier;
    const RunResult presets = render({"--list-presets"});
    EXPECT_EQ(presets.status, 0);
    for (const FactoryCurve& c : kFactoryCurves)
        EXPECT_NE(presets.out.find(c.name), std::string::npos) << c.name;
    EXPECT_TRUE(listing().empty());
}

TEST_F(RenderCli, WithoutInputTheDemoLandsInTheWorkingFolder) {
    const RunResult run = render({"-q"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(listing(), std::set<std::string>{"zerin-demo.wav"});
    const Audio demo = readAudio(dir / "zerin-demo.wav");
    EXPECT_EQ(demo.channels.size(), 2u);
    EXPECT_EQ(demo.frames(), static_cast<std::size_t>(demo.rate * (6.0 + 2.5)));
    float peak = 0.0f;
    for (const float v : demo.channels[0])
        peak = std::max(peak, std::abs(v));
    EXPECT_GT(peak, 0.05f);
    EXPECT_LT(peak, 4.0f);
}

} // namespace
} // namespace zerin::test
