// A plug-in state an earlier build saved in Ardour (the state directory and the session's
// port values, tests/old_files/lv2) is restored into the DSP library as Ardour restores it,
// plays as that build played it, and saves again with what it held.
// ZERIN_REGENERATE_GOLDEN=1 rewrites the kept render instead, which is never fair here.

#include "lv2_host.h"
#include "support/render_reference.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace zerin::test {
namespace {

namespace fs = std::filesystem;
const fs::path kSession = fs::path(ZERIN_OLD_FILES) / "lv2" / "ardour-granular-haze";

std::string textOf(const fs::path& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// The state.ttl sratom writes: the curve's floats in order and the preset name.
struct SavedState {
    std::vector<float> curve;
    std::string presetName;
};

SavedState readStateTtl(const fs::path& path) {
    const std::string text = textOf(path);
    SavedState saved;
    // The floats are written "800.0"^^xsd:float, one after another, up to the list's end.
    const std::size_t curve = text.find(std::string("<") + lv2::kCurveUri + ">");
    const std::size_t end = text.find(')', curve);
    for (std::size_t at = text.find('"', curve); at < end; at = text.find('"', at + 1)) {
        const std::size_t close = text.find('"', at + 1);
        saved.curve.push_back(std::stof(text.substr(at + 1, close - at - 1)));
        at = close;
    }
    const std::string name = std::string("<") + lv2::kPresetNameUri + "> \"";
    if (const std::size_t at = text.find(name); at != std::string::npos) {
        const std::size_t from = at + name.size();
        saved.presetName = text.substr(from, text.find('"', from) - from);
    }
    return saved;
}

TEST(OldSession, AnArdourStateOfAnEarlierBuildPlaysAsItDidAndSavesWhatItHeld) {
    DspLibrary library;
    UridMapper mapper;
    const LV2_Feature* features[2] = {&mapper.feature, nullptr};
    lv2::Urids urids{};
    urids.map(&mapper.map);

    const SavedState saved = readStateTtl(kSession / "state.ttl");
    ASSERT_EQ(saved.curve.size(), 12u);
    ASSERT_EQ(saved.presetName, "Granular Haze");

    // Ardour restores after activating, and its port values arrive with the first run.
    Instance instance(library.descriptor(lv2::kStereoUri), 48000.0, features);
    std::istringstream ports(textOf(kSession / "ports.txt"));
    int address = 0;
    for (std::string symbol; ports >> symbol;) {
        float value = 0.0f;
        ports >> value;
        if (symbol == "enabled")
            instance.enabled = value;
        else
            instance.controls.at(address++) = value;
    }
    ASSERT_EQ(address, 10);
    StateMap state;
    const std::size_t bodyBytes = sizeof(LV2_Atom_Vector_Body) + saved.curve.size() * sizeof(float);
    std::vector<std::uint8_t> body(bodyBytes);
    const LV2_Atom_Vector_Body header{sizeof(float), urids.atomFloat};
    std::memcpy(body.data(), &header, sizeof header);
    std::memcpy(body.data() + sizeof header, saved.curve.data(),
                saved.curve.size() * sizeof(float));
    storeInto(&state, urids.curve, body.data(), body.size(), urids.atomVector,
              LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    storeInto(&state, urids.presetName, saved.presetName.c_str(), saved.presetName.size() + 1,
              urids.atomString, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    ASSERT_EQ(instance.restore(state), LV2_STATE_SUCCESS);

    // Two seconds of noise with a click every quarter second, in Ardour's 1024-frame cycles.
    constexpr int kFrames = 96000;
    std::vector<std::vector<float>> input(2, std::vector<float>(kFrames));
    std::minstd_rand random(1729);
    for (int n = 0; n < kFrames; ++n)
        for (int c = 0; c < 2; ++c)
            input[c][n] = 0.2f * static_cast<float>(random()) / static_cast<float>(random.max()) -
                          0.1f + (n % 12000 == 100 + 9 * c ? 0.8f : 0.0f);
    std::vector<float> interleaved(2 * kFrames);
    std::vector<float> out[2] = {std::vector<float>(kFrames), std::vector<float>(kFrames)};
    for (int start = 0; start < kFrames; start += 1024) {
        const float* in[2] = {input[0].data() + start, input[1].data() + start};
        float* o[2] = {out[0].data() + start, out[1].data() + start};
        instance.connectAudio(in, o);
        instance.run(static_cast<std::uint32_t>(std::min(1024, kFrames - start)));
    }
    for (int n = 0; n < kFrames; ++n)
        for (int c = 0; c < 2; ++c)
            interleaved[2 * n + c] = out[c][n];

    const RenderReference now = referenceOf(interleaved, 2, true);
    const fs::path path = fs::path(ZERIN_OLD_FILES) / "renders" / "lv2-ardour-granular-haze.txt";
    if (regeneratingReferences())
        writeReference(path, "the Ardour state in lv2/ardour-granular-haze, restored and run", now);
    else
        expectMatchesReference(readReference(path), now, "lv2-ardour-granular-haze");

    // Saved again, the curve and the name are what was restored.
    StateMap again;
    ASSERT_EQ(instance.save(again), LV2_STATE_SUCCESS);
    ASSERT_EQ(again.at(urids.curve).bytes, body);
    const auto& name = again.at(urids.presetName).bytes;
    EXPECT_EQ(std::string(name.begin(), name.end()).c_str(), saved.presetName);
}

} // namespace
} // namespace zerin::test
