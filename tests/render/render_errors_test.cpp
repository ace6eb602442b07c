// Every way zerin-render refuses: its exit status, a message that names the file or option,
// and nothing left behind: no output, no temporary file, an existing output untouched.

#include "render_cli.h"

#include <gtest/gtest.h>

namespace zerin::test {
namespace {

constexpr int kUsage = 2;
constexpr int kFailure = 1;

struct Refusal {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> mentions; // each must appear in the message
};

class RenderRefusals : public RenderCli {
protected:
    void SetUp() override {
        RenderCli::SetUp();
        Audio input = silence(2, 4000);
        input.channels[0][100] = 0.5f;
        writeAudio(dir / "in.wav", input);
        writeAudio(dir / "three.wav", silence(3, 1000));
        std::ofstream(dir / "out.wav") << "an earlier render, to be kept";
        std::ofstream(dir / "text.wav") << "RIFF? no, just text";
        std::ofstream(dir / "broken.json") << R"({"spectralCurve": [)";
        std::ofstream(dir / "deep.json") << std::string(65, '[') + std::string(65, ']');
        std::ofstream(dir / "object.json") << R"({"sample": 1, "id": "dryWet", "value": 1})";
        std::ofstream(dir / "unknown.json") << R"([{"sample": 1, "id": "bogus", "value": 1}])";
        std::ofstream(dir / "range.json") << R"([{"sample": 1, "id": "dryWet", "value": 101}])";
        std::ofstream(dir / "untimed.json") << R"([{"id": "dryWet", "value": 10}])";
        std::ofstream(dir / "negative.json") << R"([{"sample": -5, "id": "dryWet", "value": 10}])";
    }

    void expectRefused(const Refusal& refusal) {
        const std::set<std::string> before = listing();
        const std::string input = readText(dir / "in.wav");
        std::vector<std::string> args = refusal.args;
        args.push_back("-q");
        const RunResult run = render(args);
        std::string command;
        for (const std::string& a : args)
            command += a + " ";
        SCOPED_TRACE(command + "\n" + run.err);
        EXPECT_EQ(run.status, refusal.status);
        for (const std::string& text : refusal.mentions)
            EXPECT_NE(run.err.find(text), std::string::npos) << "no mention of " << text;
        EXPECT_EQ(listing(), before);
        EXPECT_TRUE(readText(dir / "out.wav") == "an earlier render, to be kept");
        EXPECT_TRUE(readText(dir / "in.wav") == input);
    }
};

TEST_F(RenderRefusals, UsageErrorsExitWithTwo) {
    const std::vector<Refusal> refusals = {
        {{"in.wav", "-o", "out.wav", "--block-size", "0"}, kUsage, {"--block-size"}},
        {{"in.wav", "-o", "out.wav", "--block-size", "many"}, kUsage, {"block-size"}},
        {{"in.wav", "-o", "out.wav", "--set", "bogus=1"}, kUsage, {"bogus", "dryWet", "mode"}},
        {{"in.wav", "-o", "out.wav", "--set", "dryWet=150"}, kUsage, {"dryWet", "out of range"}},
        {{"in.wav", "-o", "out.wav", "--set", "mode=warp"}, kUsage, {"mode", "warp"}},
        {{"in.wav", "-o", "out.wav", "--set", "tempoSync=maybe"}, kUsage, {"tempoSync"}},
        {{"in.wav", "-o", "out.wav", "--set", "feedback"}, kUsage, {"--set", "feedback"}},
        {{"in.wav", "-o", "out.wav", "--curve", "20:abc"}, kUsage, {"--curve", "20:abc"}},
        {{"in.wav", "-o", "out.wav", "--curve", "0:100"},
         kUsage,
         {"--curve", "0:100", "frequency"}},
        {{"in.wav", "-o", "out.wav", "--curve", "20:5e9"}, kUsage, {"--curve", "20:5e9", "delay"}},
        {{"in.wav", "-o", "out.wav", "--curve", "20:100,"}, kUsage, {"--curve"}},
        {{"in.wav", "-o", "out.wav", "--preset", "Nope"}, kUsage, {"Nope", "Granular Haze"}},
        {{"in.wav", "-o", "out.mp3"}, kUsage, {"out.mp3"}},
        {{"in.wav", "-o", "out.wav", "--tempo", "0"}, kUsage, {"--tempo"}},
        {{"in.wav", "-o", "out.wav", "--tail", "-1"}, kUsage, {"--tail"}},
        {{"in.wav", "-o", "out.wav", "--frobnicate"}, kUsage, {"frobnicate"}},
    };
    for (const Refusal& r : refusals)
        expectRefused(r);
}

TEST_F(RenderRefusals, InputAndOutputFailuresExitWithOne) {
    const std::vector<Refusal> refusals = {
        {{"missing.wav", "-o", "out.wav"}, kFailure, {"missing.wav"}},
        {{"text.wav", "-o", "out.wav"}, kFailure, {"text.wav"}},
        {{"three.wav", "-o", "out.wav"}, kFailure, {"three.wav", "3 channels"}},
        {{"in.wav", "-o", "./in.wav"}, kFailure, {"in.wav", "input"}},
        {{"in.wav", "-o", "nowhere/out.wav"}, kFailure, {"nowhere"}},
        {{"in.wav", "-o", "out.wav", "--save-state", "./in.wav"},
         kFailure,
         {"--save-state", "in.wav"}},
        {{"in.wav", "-o", "out.wav", "--save-state", "out.wav"},
         kFailure,
         {"--save-state", "out.wav"}},
        // The state is written after rendering: its failure must not leave the output.
        {{"in.wav", "-o", "out.wav", "--save-state", "nowhere/state.json"},
         kFailure,
         {"nowhere/state.json"}},
    };
    for (const Refusal& r : refusals)
        expectRefused(r);
    // Without -o, the derived output must not appear either.
    expectRefused({{"in.wav", "--save-state", "nowhere/state.json"}, kFailure, {"state.json"}});
}

TEST_F(RenderRefusals, BadStateAndAutomationFilesExitWithOne) {
    const std::vector<Refusal> refusals = {
        {{"in.wav", "-o", "out.wav", "--state", "absent.json"}, kFailure, {"absent.json"}},
        {{"in.wav", "-o", "out.wav", "--state", "broken.json"}, kFailure, {"broken.json"}},
        {{"in.wav", "-o", "out.wav", "--state", "deep.json"}, kFailure, {"deep.json", "nested"}},
        {{"in.wav", "-o", "out.wav", "--automation", "broken.json"}, kFailure, {"broken.json"}},
        {{"in.wav", "-o", "out.wav", "--automation", "object.json"}, kFailure, {"object.json"}},
        {{"in.wav", "-o", "out.wav", "--automation", "unknown.json"},
         kFailure,
         {"unknown.json", "bogus"}},
        {{"in.wav", "-o", "out.wav", "--automation", "range.json"},
         kFailure,
         {"range.json", "out of range"}},
        {{"in.wav", "-o", "out.wav", "--automation", "untimed.json"},
         kFailure,
         {"untimed.json", "time"}},
        {{"in.wav", "-o", "out.wav", "--automation", "negative.json"},
         kFailure,
         {"negative.json", "negative"}},
    };
    for (const Refusal& r : refusals)
        expectRefused(r);
}

} // namespace
} // namespace zerin::test
