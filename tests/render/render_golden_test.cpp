// Every factory preset and each mode rendered by the binary and compared block by block with
// golden/. ZERIN_REGENERATE_GOLDEN=1 rewrites them instead (README.md says when that is fair).

#include "dsp/factory_curves.h"
#include "render_cli.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zerin::test {
namespace {

constexpr std::size_t kBlock = 2048; // one analysis frame: small enough to place a change

// Renders repeat to the bit here, and the portable build renders the same bits. Another CPU
// may run other FFTW codelets, which round differently: FFT outputs jittered by four float
// steps of their level move scatter (whose borrowed magnitudes take the phases of quiet bins)
// by up to 2e-5 of a block's peak and the other renders by under 1e-6. 1e-4 leaves room for
// that, while a meant change as small as 0.01 dB of gain or 0.1 % of mix moves blocks by 1e-3.
constexpr double kTolerance = 1e-4;
// Blocks quieter than -60 dBFS are held to the tolerance of a block at -60 dBFS.
constexpr double kQuietPeak = 1e-3;

struct GoldenCase {
    std::string name;
    int channels;
    std::vector<std::string> args;
    std::string automation; // JSON, or empty
};
void PrintTo(const GoldenCase& c, std::ostream* out) {
    *out << c.name;
}

// 1.5 s of two sines (a different pair per channel), a click every quarter second and seeded
// noise: tones for the delay lines and freeze, transients for the classification.
Audio mixedInput(int channels) {
    constexpr std::size_t kFrames = 66150;
    Audio audio{44100.0, channels, std::vector<float>(kFrames * channels)};
    std::minstd_rand random(1729);
    for (std::size_t n = 0; n < kFrames; ++n)
        for (int c = 0; c < channels; ++c) {
            const double t = static_cast<double>(n) / 44100.0;
            const double tones = 0.3 * std::sin(2.0 * M_PI * (220.0 + 110.0 * c) * t) +
                                 0.15 * std::sin(2.0 * M_PI * (3150.0 - 400.0 * c) * t + 1.0);
            const double hiss = 0.05 * (static_cast<double>(random()) / random.max() - 0.5);
            const double click = n % 11025 == 300u + 7u * c ? 0.8 : 0.0;
            audio.samples[n * channels + c] = static_cast<float>(tones + hiss + click);
        }
    return audio;
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
    const auto haze = [](const std::string& more) {
        std::vector<std::string> args = words(more);
        args.insert(args.begin(), {"--preset", "Granular Haze"});
        return args;
    };
    cases.push_back({"granular-haze-delay-mono", 1,
                     haze("--set feedback=70 --set lfoDepth=60 --set sourceSensitivity=60"), ""});
    cases.push_back(
        {"granular-haze-freeze", 2, haze(""), R"([{"time": 0.75, "id": "mode", "value": 1}])"});
    cases.push_back(
        {"granular-haze-scatter", 2, haze("--set mode=scatter --set scatterSpeed=90"), ""});
    return cases;
}

struct BlockStats {
    double sum = 0.0, squares = 0.0, peak = 0.0;
};

// Per block, the channels in order.
std::vector<BlockStats> statsOf(const Audio& audio) {
    std::vector<BlockStats> stats;
    for (std::size_t start = 0; start < audio.frames(); start += kBlock)
        for (int c = 0; c < audio.channels; ++c) {
            BlockStats s;
            for (std::size_t n = start; n < std::min(start + kBlock, audio.frames()); ++n) {
                const double v = audio.samples[n * audio.channels + c];
                s.sum += v;
                s.squares += v * v;
                s.peak = std::max(s.peak, std::fabs(v));
            }
            stats.push_back(s);
        }
    return stats;
}

struct Golden {
    std::size_t frames = 0;
    int channels = 0;
    std::vector<BlockStats> blocks;
};

void writeGolden(const fs::path& path, const GoldenCase& c, const Audio& audio) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr) << path;
    std::string command;
    for (const std::string& a : c.args)
        command += a.find(' ') == std::string::npos ? " " + a : " \"" + a + "\"";
    std::fprintf(
        file, "# zerin-render IN --tail 1%s%s (IN: mixedInput, %d channels)\n", command.c_str(),
        c.automation.empty() ? "" : (" --automation '" + c.automation + "'").c_str(), c.channels);
    std::fprintf(file, "# per %zu-frame block, per channel: sum, sum of squares, peak\n", kBlock);
    std::fprintf(file, "%zu frames %d channels\n", audio.frames(), audio.channels);
    const std::vector<BlockStats> stats = statsOf(audio);
    for (std::size_t i = 0; i < stats.size(); ++i)
        std::fprintf(file, "%.9g %.9g %.9g%s", stats[i].sum, stats[i].squares, stats[i].peak,
                     (i + 1) % audio.channels == 0 ? "\n" : "  ");
    EXPECT_EQ(std::fclose(file), 0) << path;
}

Golden readGolden(const fs::path& path) {
    std::istringstream in(readText(path));
    Golden golden;
    std::string line, word;
    while (in.peek() == '#')
        std::getline(in, line);
    in >> golden.frames >> word >> golden.channels >> word;
    for (BlockStats s; in >> s.sum >> s.squares >> s.peak;)
        golden.blocks.push_back(s);
    return golden;
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
    const char* regenerate = std::getenv("ZERIN_REGENERATE_GOLDEN");
    if (regenerate != nullptr && std::string(regenerate) == "1") {
        writeGolden(path, c, out);
        GTEST_SKIP() << "regenerated " << path.string() << ": nothing was compared";
    }
    const Golden golden = readGolden(path);
    ASSERT_EQ(golden.frames, out.frames()) << path << " missing or damaged";
    ASSERT_EQ(golden.channels, out.channels);
    const std::vector<BlockStats> stats = statsOf(out);
    ASSERT_EQ(golden.blocks.size(), stats.size()) << path;
    for (std::size_t i = 0; i < stats.size(); ++i) {
        // Every sample within kTolerance of its block's peak moves the sum by at most that
        // times the block length, the squares by twice that times the sum of magnitudes.
        const BlockStats& g = golden.blocks[i];
        const double perSample = kTolerance * std::max(g.peak, kQuietPeak);
        const double n = static_cast<double>(kBlock);
        const double magnitudes = std::sqrt(n * g.squares); // bounds the sum of |sample|
        const std::string where = c.name + ": block " + std::to_string(i / out.channels) +
                                  ", channel " + std::to_string(i % out.channels);
        EXPECT_NEAR(stats[i].sum, g.sum, perSample * n) << where;
        EXPECT_NEAR(stats[i].squares, g.squares, perSample * (2.0 * magnitudes + perSample * n))
            << where;
        EXPECT_NEAR(stats[i].peak, g.peak, perSample) << where;
    }
}

INSTANTIATE_TEST_SUITE_P(FactoryPresetsAndModes, GoldenRender, ::testing::ValuesIn(goldenCases()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
} // namespace zerin::test
