// What zerin-render writes: audio, latency and tail, automation, states, lists and presets.

#include "audiounit/parameters.h"
#include "dsp/factory_curves.h"
#include "render_cli.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace zerin::test {
namespace {

constexpr std::size_t kImpulseAt = 5000;
// The wet path with nothing but the STFT in it: every frame passes through unchanged.
const std::string kTransparentWet =
    " --set dryWet=100 --set mode=delay --set feedback=0 --set lfoDepth=0 --curve 20:0,20000:0";

// The first sample where two renders differ by more than `tolerance`.
std::size_t firstDifference(const Audio& a, const Audio& b, float tolerance = 0.0f) {
    const auto near = [tolerance](float x, float y) { return std::abs(x - y) <= tolerance; };
    return std::mismatch(a.samples.begin(), a.samples.end(), b.samples.begin(), near).first -
           a.samples.begin();
}

// The file's own: options before INPUT, the derived name, every sample in place (the wet
// path's alignment and gain are the kernel's latency test's and the golden renders').
TEST_F(RenderCli, AnImpulseComesOutOnItsSampleAtItsHeightUnderTheDerivedName) {
    for (const int channels : {1, 2}) {
        Audio input{44100.0, channels, std::vector<float>(12000 * channels, 0.0f)};
        for (int c = 0; c < channels; ++c)
            input.samples[kImpulseAt * channels + c] = c == 0 ? 0.5f : -0.25f;
        writeAudio(dir / "in.take1.wav", input);
        // Options before INPUT, as people type them; no -o: the name is derived from INPUT.
        const RunResult run = render(words("--tail 0 -q --set dryWet=0 in.take1.wav"));
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(listing(), (std::set<std::string>{"in.take1.wav", "in.take1-zerin.wav"}));
        const Audio dry = readAudio(dir / "in.take1-zerin.wav");
        EXPECT_TRUE(dry.rate == 44100.0 && dry.samples == input.samples) << channels;
        fs::remove(dir / "in.take1-zerin.wav");
    }
}

TEST_F(RenderCli, LatencyIsTrimmedUnlessKeptBypassedOrNotAndTheTailFollowsTheInput) {
    const Audio input = noise(2, 10000);
    writeAudio(dir / "in.wav", input);
    const Audio trimmed = rendered(words("in.wav --tail 0"));
    EXPECT_EQ(trimmed.frames(), 10000u);
    // Kept, the 2047 samples of latency come first, silent. Bypassed: the input itself.
    auto afterLatency = [](std::vector<float> samples) {
        samples.insert(samples.begin(), 2 * 2047, 0.0f);
        return samples;
    };
    EXPECT_EQ(rendered(words("in.wav --tail 0 --keep-latency")).samples,
              afterLatency(trimmed.samples));
    EXPECT_EQ(rendered(words("in.wav --tail 0 --bypass")).samples, input.samples);
    EXPECT_EQ(rendered(words("in.wav --tail 0 --bypass --keep-latency")).samples,
              afterLatency(input.samples));
    EXPECT_EQ(rendered(words("in.wav --tail 0.25")).frames(), 10000u + 11025u);
    const Audio full = rendered(words("in.wav")); // the unit's tail, 2.5 s
    ASSERT_EQ(full.frames(), 10000u + 110250u);
    EXPECT_NE(full.samples[2 * (10000 + 20000)], 0.0f); // the delayed signal runs on
}

TEST_F(RenderCli, AutomationLandsOnItsSampleInFileOrder) {
    Audio steady{48000.0, 1, std::vector<float>(16000, 0.5f)};
    writeAudio(dir / "in.wav", steady);
    std::ofstream(dir / "by-sample.json")
        << R"([{"sample": 6000, "id": "inputGain", "value": -24}])";
    // Two events on one sample: the later in the file wins.
    std::ofstream(dir / "by-time.json") << R"([{"sample": 6000, "id": "inputGain", "value": 6},
                                               {"time": 0.125, "id": "inputGain", "value": -24}])";
    // The input gain's step shows from its input sample in the aligned output (FFT rounding
    // spreads a few ulps).
    const std::string wet = "in.wav --tail 0" + kTransparentWet;
    const Audio plain = rendered(words(wet));
    const Audio bySample = rendered(words(wet + " --automation by-sample.json"));
    EXPECT_EQ(firstDifference(plain, bySample, 1e-5f), 6000u);
    EXPECT_EQ(rendered(words(wet + " --automation by-time.json")).samples, bySample.samples);

    // The output gain's step, with the latency kept, starts exactly at its sample.
    std::ofstream(dir / "gain.json") << R"([{"sample": 6000, "id": "outputGain", "value": -24}])";
    const std::string dry = "in.wav --tail 0 --keep-latency --set dryWet=0";
    const Audio before = rendered(words(dry));
    const Audio after = rendered(words(dry + " --automation gain.json"));
    EXPECT_EQ(firstDifference(before, after), 6000u);
    EXPECT_LT(after.samples.back(), before.samples.back() * 0.5f);
}

TEST_F(RenderCli, EveryBlockSizeWritesTheSameSamples) {
    writeAudio(dir / "in.wav", noise(2, 44100));
    // Events inside blocks, on their edges and between them.
    std::ofstream(dir / "auto.json") << R"([
        {"sample": 777, "id": "feedback", "value": 80},
        {"sample": 4096, "id": "mode", "value": 2},
        {"sample": 4096, "id": "outputGain", "value": -3},
        {"time": 0.5, "id": "mode", "value": 1},
        {"sample": 30001, "id": "dryWet", "value": 90}])";
    auto withBlock = [&](const std::string& size) {
        return rendered(words("in.wav --tail 0.3 --automation auto.json --block-size " + size));
    };
    const Audio reference = withBlock("512");
    ASSERT_EQ(reference.frames(), 44100u + 13230u);
    for (const std::string size : {"1", "63", "4096"})
        EXPECT_EQ(withBlock(size).samples, reference.samples) << "block size " << size;
}

TEST_F(RenderCli, StatePresetAndTempoReachTheUnit) {
    writeAudio(dir / "in.wav", noise(2, 20000));
    const Audio first = rendered(words("in.wav --tail 0.2 --set mode=Freeze --set tempoSync=on "
                                       "--set dryWet=80 --curve 4000:300,40:100,400:900,40:20 "
                                       "--save-state state.json"));
    const auto state = nlohmann::json::parse(readText(dir / "state.json"));
    EXPECT_EQ(state["parameters"]["mode"], 1);
    EXPECT_EQ(state["parameters"]["dryWet"], 80);
    // The points reach the unit in frequency order, ties as typed.
    EXPECT_EQ(state["curveSet"]["a"]["delay"], nlohmann::json::parse(R"([{"freq": 40, "delay": 100},
        {"freq": 40, "delay": 20}, {"freq": 400, "delay": 900}, {"freq": 4000, "delay": 300}])"));
    EXPECT_EQ(rendered(words("in.wav --tail 0.2 --state state.json")).samples, first.samples);
    // As the first versions wrote it, before states kept the preset's name.
    auto older = state;
    older.erase("presetName");
    std::ofstream(dir / "older.json") << older.dump();
    EXPECT_EQ(rendered(words("in.wav --tail 0.2 --state older.json")).samples, first.samples);

    rendered({"in.wav", "--tail", "0", "--preset", "Granular Haze", "--save-state", "p.json"});
    const auto curve = nlohmann::json::parse(readText(dir / "p.json"))["curveSet"]["b"]["delay"];
    ASSERT_EQ(curve.size(), kFactoryCurves[2].points.size());
    for (std::size_t i = 0; i < curve.size(); ++i)
        EXPECT_EQ(curve[i]["delay"].get<float>(), kFactoryCurves[2].points[i].value);

    // A synced 1 Hz LFO: as at 120 BPM without --tempo, and otherwise at 90 BPM.
    const std::string synced = "in.wav --tail 0 --set tempoSync=on --set lfoDepth=100";
    const Audio none = rendered(words(synced));
    EXPECT_EQ(rendered(words(synced + " --tempo 120")).samples, none.samples);
    EXPECT_NE(rendered(words(synced + " --tempo 90")).samples, none.samples);
}

TEST_F(RenderCli, CompressedAndAiffOutputsReadBack) {
    Audio input{44100.0, 2, std::vector<float>(2 * 12000, 0.0f)};
    input.samples[2 * kImpulseAt + 1] = -0.25f;
    writeAudio(dir / "in.wav", input);
    for (const std::string name : {"out.flac", "out.ogg", "out.aiff"}) {
        const Audio out = rendered(words("in.wav --tail 0 --set dryWet=0"), name);
        EXPECT_TRUE(out.channels == 2 && out.rate == 44100.0) << name;
        EXPECT_TRUE(name == "out.ogg" ||
                    std::abs(out.samples.at(2 * kImpulseAt + 1) + 0.25f) < 1e-5f)
            << name;
    }
}

TEST_F(RenderCli, ListsTheParametersAsHostsSeeThemAndRendersTheDemoWithoutInput) {
    // What a person reads is what a host reads: the same parameters, in order, named alike.
    const RunResult list = render({"--list-parameters"});
    EXPECT_EQ(list.status, 0);
    std::istringstream lines(list.out);
    std::string header, line;
    std::getline(lines, header);
    const auto field = [&](const char* title, const char* next) {
        const std::size_t from = header.find(title),
                          to = next ? header.find(next) : std::string::npos;
        const std::string text = line.substr(std::min(from, line.size()), to - from);
        return text.substr(0, text.find_last_not_of(' ') + 1);
    };
    const auto tree = buildParameterTree(parameterTreeSpec());
    for (const AUParameter* p : tree->parameters()) {
        ASSERT_TRUE(std::getline(lines, line)) << p->identifier() << " is not listed";
        EXPECT_EQ(field("id", "name"), p->identifier());
        EXPECT_EQ(field("name", "range"), p->displayName()) << line;
        float low = NAN, high = NAN;
        std::string range = field("range", "default"), to;
        std::istringstream(range) >> low >> to >> high;
        EXPECT_TRUE(low == p->minValue() && high == p->maxValue()) << line;
        EXPECT_EQ(std::stof(field("default", "unit")), p->value()) << line;
        const bool reported = (p->flags() & kAudioUnitParameterFlag_IsWritable) == 0;
        EXPECT_EQ(field("unit", nullptr), unitLabel(p->unit()) + (reported ? ", read only" : ""))
            << line;
        std::transform(range.begin(), range.end(), range.begin(), ::tolower);
        for (std::size_t i = 0; p->valueStrings() && i < p->valueStrings()->size(); ++i) {
            std::string name = std::to_string(i) + " " + (*p->valueStrings())[i];
            std::transform(name.begin(), name.end(), name.begin(), ::tolower);
            EXPECT_NE(range.find(name), std::string::npos) << line;
        }
    }
    EXPECT_FALSE(std::getline(lines, line)) << "not in the host tree: " << line;
    EXPECT_TRUE(listing().empty());

    ASSERT_EQ(render({"-q"}).status, 0);
    EXPECT_EQ(listing(), std::set<std::string>{"zerin-demo.wav"});
    const Audio demo = readAudio(dir / "zerin-demo.wav");
    EXPECT_EQ(demo.channels, 2);
    EXPECT_EQ(demo.frames(), static_cast<std::size_t>(demo.rate * (6.0 + 2.5)));
    const float peak = *std::max_element(demo.samples.begin(), demo.samples.end());
    EXPECT_TRUE(peak > 0.05f && peak < 4.0f) << peak;
}

// The user's presets from the shell, through the real preference file.
struct RenderPresets : RenderCli {
    void SetUp() override {
        RenderCli::SetUp();
        writeAudio(dir / "in.wav", noise(1, 6000));
    }
    std::vector<float> byPreset(const std::string& name) {
        return rendered({"in.wav", "--preset", name}).samples;
    }
    std::string store() const { return readText(root / "config" / "preferences.json"); }
};

TEST_F(RenderPresets, ASavedCurveRendersLikeTheCurveItCameFrom) {
    // Saving needs no input and renders nothing.
    const RunResult save = render({"--curve", "100:0,1000:700,8000:300", "--save-preset", "Wide"});
    ASSERT_EQ(save.status, 0) << save.err;
    EXPECT_EQ(listing(), (std::set<std::string>{"in.wav"}));
    EXPECT_NE(store().find("\"Wide\""), std::string::npos);
    EXPECT_EQ(byPreset("Wide"), rendered({"in.wav", "--curve", "100:0,1000:700,8000:300"}).samples);
    const RunResult list = render({"--list-presets"});
    EXPECT_NE(list.out.find("Init (factory)\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("Wide (user)\n"), std::string::npos) << list.out;
}

TEST_F(RenderPresets, FactoryNamesWinAndAreNeverOverwritten) {
    // Saved under a factory name (stored as "<name> (User)"), --preset still means the factory's.
    ASSERT_EQ(render({"--curve", "20:1500,20000:1500", "--save-preset", "Shimmer Wash"}).status, 0);
    const std::vector<float> factory = byPreset("Shimmer Wash");
    EXPECT_NE(byPreset("Shimmer Wash (User)"), factory);

    // Saving with --preset and no --curve stores that preset's curve as it is.
    ASSERT_EQ(render({"--preset", "Granular Haze", "--save-preset", "Haze copy"}).status, 0);
    EXPECT_EQ(byPreset("Haze copy"), byPreset("Granular Haze"));
}

TEST_F(RenderPresets, DeletingRemovesOnlyThatPresetAndUnknownNamesAreUsageErrors) {
    ASSERT_EQ(render({"--curve", "100:100,200:200", "--save-preset", "One"}).status, 0);
    ASSERT_EQ(render({"--curve", "100:300,200:400", "--save-preset", "Two"}).status, 0);
    ASSERT_EQ(render({"--delete-preset", "One"}).status, 0);

    const std::string before = store();
    const RunResult missing = render({"--delete-preset", "One"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("--delete-preset"), std::string::npos);
    const RunResult unknown = render({"in.wav", "--preset", "One"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("Two"), std::string::npos); // the message lists what exists
    EXPECT_EQ(store(), before);
    EXPECT_EQ(listing(), (std::set<std::string>{"in.wav"}));
}

} // namespace
} // namespace zerin::test
