// Every factory preset and each mode rendered by the binary and compared block by block with
// golden/. ZERIN_REGENERATE_GOLDEN=1 rewrites them instead (README.md says when that is fair).

#include "dsp/factory_curves.h"
#include "render_cli.h"
#include "support/render_reference.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zerin::test {
namespace {

struct GoldenCase {
    std::string name;
    int channels;
    std::vector<std::string> args;
    std::string automation; // JSON, or empty
};
void PrintTo(const GoldenCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<GoldenCase> goldenCases() {
    std::vector<GoldenCase> cases;
    for (const FactoryCurve& preset : kFactoryCurves) {
        std::string name(preset.name);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char ch) { return ch == ' ' ? '-' : std::tolower(ch); });
        cases.push_back({name, 2, {"--preset", std::string(preset.name)}, ""});
    }
    // The modes on the preset with the longest delays: delay mono with the classification
    // weighting it, freeze chosen mid-stream (so it captures sound, not the silence before
    // it), and scatter at a speed that reshuffles often.
    const auto withPreset = [](const char* preset, const std::string& more) {
        std::vector<std::string> args = words(more);
        args.insert(args.begin(), {"--preset", preset});
        return args;
    };
    const auto haze = [&](const std::string& more) { return withPreset("Granular Haze", more); };
    cases.push_back({"granular-haze-delay-mono", 1,
                     haze("--set feedback=70 --set lfoDepth=60 --set sourceSensitivity=60"), ""});
    cases.push_back(
        {"granular-haze-freeze", 2, haze(""), R"([{"time": 0.75, "id": "mode", "value": 1}])"});
    cases.push_back(
        {"granular-haze-scatter", 2, haze("--set mode=scatter --set scatterSpeed=90"), ""});
    // The curve set at work: both slots blended, scaled and shifted, with per-band feedback;
    // and a morph swept by automation from A to B while the curves are synced to a tempo.
    cases.push_back({"dusk-crossfade-shaped", 2,
                     withPreset("Dusk Crossfade", "--set morph=60 --set curveScale=80 "
                                                  "--set curveShift=-5 --set feedback=75"),
                     ""});
    cases.push_back(
        {"dusk-crossfade-swept", 2,
         withPreset("Dusk Crossfade", "--set delaySync=on --tempo 132 --set feedback=60"),
         R"([{"time": 0.2, "id": "morph", "value": 0}, {"time": 0.6, "id": "morph", "value": 50}, {"time": 1.0, "id": "morph", "value": 100}])"});
    // The two sides apart and crossing, heard whole, then what Source spares, then wet alone.
    cases.push_back(
        {"granular-haze-stereo", 2,
         haze("--set stereoSpread=60 --set pingPong=on --set feedback=60 "
              "--set sourceSensitivity=60"),
         R"([{"time": 0.8, "id": "listen", "value": 2}, {"time": 1.6, "id": "listen", "value": 1}])"});
    return cases;
}

class GoldenRender : public RenderCli, public ::testing::WithParamInterface<GoldenCase> {};

TEST_P(GoldenRender, MatchesTheKeptRenderBlockByBlock) {
    const GoldenCase& c = GetParam();
    writeAudio(dir / "in.wav", mixedInput(c.channels));
    std::vector<std::string> args = {"in.wav", "--tail", "1"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    if (!c.automation.empty()) {
        std::ofstream(root / "automation.json") << c.automation;
        args.insert(args.end(), {"--automation", (root / "automation.json").string()});
    }
    const Audio out = rendered(args);
    ASSERT_EQ(out.frames(), 66150u + 44100u);

    const fs::path path = fs::path(ZERIN_GOLDEN_DIR) / (c.name + ".txt");
    const RenderReference now = referenceOf(out.samples, out.channels, false);
    if (regeneratingReferences()) {
        std::string command;
        for (const std::string& a : c.args)
            command += a.find(' ') == std::string::npos ? " " + a : " \"" + a + "\"";
        if (!c.automation.empty()) command += " --automation '" + c.automation + "'";
        writeReference(path,
                       "zerin-render IN --tail 1" + command + " (IN: mixedInput, " +
                           std::to_string(c.channels) + " channels)",
                       now);
        GTEST_SKIP() << "regenerated " << path.string() << ": nothing was compared";
    }
    expectMatchesReference(readReference(path), now, c.name);
}

INSTANTIATE_TEST_SUITE_P(FactoryPresetsAndModes, GoldenRender, ::testing::ValuesIn(goldenCases()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
} // namespace zerin::test
