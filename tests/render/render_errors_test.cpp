// Every refusal exits 2 (usage) or 1, names the problem and leaves nothing behind.

#include "render_cli.h"

#include <csignal>

namespace zerin::test {
namespace {

struct Refusal {
    std::string args;
    int status;
    std::vector<std::string> mentions;
};

// A stereo 16-bit WAV of 100 frames whose header claims `rate`.
std::string wavClaiming(std::uint32_t rate) {
    auto le = [](std::uint32_t v, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xff);
        return out;
    };
    const std::uint32_t data = 400;
    return "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(rate, 4) +
           le(rate * 4u, 4) + le(4, 2) + le(16, 2) + "data" + le(data, 4) +
           std::string(data, '\x10');
}

TEST_F(RenderCli, RefusalsExitWithTheirStatusNameTheProblemAndWriteNothing) {
    writeAudio(dir / "in.wav", noise(2, 4000));
    std::ofstream(dir / "fast.wav") << wavClaiming(2000000000u);
    std::ofstream(dir / "slow.wav") << wavClaiming(1u);
    writeAudio(dir / "three.wav", noise(3, 1000));
    std::string manyPoints = "100:10";
    for (int i = 1; i < 33; ++i)
        manyPoints.append(",").append(std::to_string(100 + i)).append(":10");
    for (const auto& [name, text] : std::initializer_list<std::pair<const char*, std::string>>{
             {"out.wav", "an earlier render, to be kept"},
             {"text.wav", "RIFF? no, just text"},
             {"broken.json", R"({"spectralCurve": [)"},
             {"deep.json", std::string(65, '[') + std::string(65, ']')},
             {"object.json", R"({"sample": 1, "id": "dryWet", "value": 1})"},
             // The unit's own checks refuse it (its tests hold which states they take).
             {"newer.json", R"({"formatVersion": 99, "type": "aufx", "subtype": "Zrin",
                "manufacturer": "Vesk", "parameters": {}, "spectralCurve": []})"}})
        std::ofstream(dir / name) << text;
    // Names that only look like files: reading one would block for ever, writing one would
    // replace it.
    for (const char* name : {"fifo.wav", "fifo.json"})
        ASSERT_EQ(mkfifo((dir / name).c_str(), 0644), 0);
    fs::create_directory(dir / "folder.wav");
    for (const auto& [name, event] : {std::pair{"unknown", R"("sample": 1, "id": "bogus")"},
                                      {"range", R"("sample": 1, "id": "dryWet", "value": 101)"},
                                      {"untimed", R"("id": "dryWet")"},
                                      {"negative", R"("sample": -5, "id": "dryWet")"},
                                      {"far", R"("sample": 4611686018427387904, "id": "dryWet")"},
                                      {"late", R"("time": 1e300, "id": "dryWet")"}})
        std::ofstream(dir / (std::string(name) + ".json")) << "[{\"value\": 10, " << event << "}]";

    const Refusal refusals[] = {
        {"in.wav -o out.wav --block-size 0", 2, {"--block-size"}},
        {"in.wav -o out.wav --set bogus=1", 2, {"bogus", "dryWet", "mode"}},
        {"in.wav -o out.wav --set dryWet=150", 2, {"dryWet", "out of range"}},
        {"in.wav -o out.wav --set mode=warp", 2, {"mode", "warp"}},
        {"in.wav -o out.wav --set feedback", 2, {"--set", "feedback"}},
        {"in.wav -o out.wav --curve 20:abc", 2, {"--curve", "20:abc"}},
        {"in.wav -o out.wav --curve 0:100", 2, {"--curve", "0:100", "frequency"}},
        {"in.wav -o out.wav --curve 20:5e9", 2, {"--curve", "20:5e9", "delay"}},
        {"in.wav -o out.wav --preset Nope", 2, {"Nope", "Granular Haze"}},
        {"in.wav -o out.mp3", 2, {"out.mp3"}},
        {"in.wav -o out.wav --tempo 0", 2, {"--tempo"}},
        {"in.wav -o out.wav --tempo 0.999", 2, {"--tempo", "1 to 1000"}},
        {"in.wav -o out.wav --tempo 1e-300", 2, {"--tempo", "1 to 1000"}},
        {"in.wav -o out.wav --tempo 1000.5", 2, {"--tempo", "1 to 1000"}},
        {"in.wav -o out.wav --tail -1", 2, {"--tail"}},
        {"in.wav -o out.wav --frobnicate", 2, {"frobnicate"}},
        {"missing.wav -o out.wav", 1, {"missing.wav"}},
        {"text.wav -o out.wav", 1, {"text.wav"}},
        {"three.wav -o out.wav", 1, {"three.wav", "3 channels"}},
        {"in.wav -o ./in.wav", 1, {"in.wav", "input"}},
        {"in.wav -o nowhere/out.wav", 1, {"nowhere"}},
        {"in.wav -o out.wav --save-state ./in.wav", 1, {"--save-state", "in.wav"}},
        {"in.wav -o out.wav --save-state out.wav", 1, {"--save-state", "out.wav"}},
        // The state is written after rendering: its failure must not leave the output, nor
        // the output's derived name without -o.
        {"in.wav -o out.wav --save-state nowhere/state.json", 1, {"nowhere/state.json"}},
        {"in.wav --save-state nowhere/state.json", 1, {"nowhere/state.json"}},
        {"in.wav -o out.wav --state absent.json", 1, {"absent.json"}},
        {"in.wav -o out.wav --state broken.json", 1, {"broken.json"}},
        {"in.wav -o out.wav --state deep.json", 1, {"deep.json", "nested"}},
        {"in.wav -o out.wav --automation broken.json", 1, {"broken.json"}},
        {"in.wav -o out.wav --automation object.json", 1, {"object.json"}},
        {"in.wav -o out.wav --automation unknown.json", 1, {"unknown.json", "bogus"}},
        {"in.wav -o out.wav --automation range.json", 1, {"range.json", "out of range"}},
        {"in.wav -o out.wav --automation untimed.json", 1, {"untimed.json", "time"}},
        {"in.wav -o out.wav --automation negative.json", 1, {"negative.json", "negative"}},
        {"in.wav -o out.wav --automation far.json", 1, {"far.json", "too large"}},
        {"in.wav -o out.wav --automation late.json", 1, {"late.json", "too large"}},
        {"fast.wav -o out.wav", 1, {"fast.wav", "2000000000 Hz", "8000 to 768000"}},
        {"slow.wav -o out.wav", 1, {"slow.wav", "1 Hz"}},
        {"in.wav -o out.wav --state newer.json", 1, {"newer.json", "formatVersion 99"}},
        {"fifo.wav -o out.wav", 1, {"fifo.wav", "FIFO"}},
        {"folder.wav -o out.wav", 1, {"folder.wav", "folder"}},
        {"in.wav -o out.wav --state fifo.json", 1, {"fifo.json", "FIFO"}},
        {"in.wav -o out.wav --automation fifo.json", 1, {"fifo.json", "FIFO"}},
        {"in.wav -o fifo.wav", 1, {"fifo.wav", "FIFO"}},
        {"in.wav -o folder.wav", 1, {"folder.wav", "folder"}},
        {"in.wav -o out.wav --save-state fifo.json", 1, {"fifo.json", "FIFO"}},
        {"in.wav -o out.wav --curve 1e-50:5,1000:100", 2, {"--curve", "1e-50:5", "frequency"}},
        {"in.wav -o out.wav --curve " + manyPoints, 2, {"--curve", "33 points", "32"}},
    };
    const std::set<std::string> before = listing();
    const std::string input = readText(dir / "in.wav");
    // Empty values are slips, not choices: no zero-second tail, no derived output name.
    std::vector<std::pair<std::vector<std::string>, std::string>> empties = {
        {{"in.wav", "-o", "out.wav", "--tail", ""}, "--tail"},
        {{"in.wav", "-o", ""}, "--output"},
        {{"", "-o", "out.wav"}, "INPUT"},
        {{"in.wav", "-o", "out.wav", "--state", ""}, "--state"}};
    const auto expectRefused = [&](std::vector<std::string> args, int status,
                                   const std::vector<std::string>& mentions) {
        std::string line;
        for (const std::string& a : args)
            line += "'" + a + "' ";
        args.insert(args.begin(), "-q");
        const RunResult run = render(args);
        SCOPED_TRACE(line + "\n" + run.err);
        EXPECT_EQ(run.status, status);
        for (const std::string& text : mentions)
            EXPECT_NE(run.err.find(text), std::string::npos) << "no mention of " << text;
        EXPECT_EQ(listing(), before);
        EXPECT_TRUE(readText(dir / "out.wav") == "an earlier render, to be kept");
        EXPECT_TRUE(readText(dir / "in.wav") == input);
    };
    for (const auto& [args, option] : empties)
        expectRefused(args, 2, {option + ": the value is empty"});
    for (const Refusal& refusal : refusals)
        expectRefused(words(refusal.args), refusal.status, refusal.mentions);
}

// A failing machine and an impatient user: each leaves either the finished file or nothing,
// and never harms an earlier output.
TEST_F(RenderCli, ADiskThatFillsWhileTheFileIsFinishedFailsTheRenderAndKeepsTheEarlierOutput) {
    writeAudio(dir / "in.wav", noise(2, 3 * 44100));
    for (const std::string output : {"out.flac", "out.ogg", "out.wav", "out.aiff"}) {
        SCOPED_TRACE(output);
        ASSERT_EQ(render({"-q", "in.wav", "-o", output}).status, 0);
        const auto size = static_cast<long>(fs::file_size(dir / output));
        std::ofstream(dir / output) << "an earlier render, to be kept";
        const std::set<std::string> before = listing();
        // Room for all but the last page: the encoders meet it only while closing.
        const RunResult run = render({"-q", "in.wav", "-o", output}, (size - 1) / 4096 * 4096);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(output), std::string::npos) << run.err;
        EXPECT_EQ(readText(dir / output), "an earlier render, to be kept");
        EXPECT_EQ(listing(), before);
    }
}

TEST_F(RenderCli, EverySignalThatEndsAJobLeavesNoTrace) {
    writeAudio(dir / "in.wav", noise(2, 44100));
    const std::set<std::string> before = listing();
    for (const int signal : {SIGHUP, SIGINT, SIGTERM, SIGQUIT, SIGKILL}) {
        SCOPED_TRACE(signal);
        const pid_t child = start({"-q", "in.wav", "-o", "out.wav", "--tail", "3600"});
        EXPECT_TRUE(waitUntilHolding(child, dir)) << "the render never started writing";
        kill(child, signal);
        const RunResult run = finish(child);
        EXPECT_NE(run.status, 0);
        EXPECT_EQ(listing(), before);
    }
}

} // namespace
} // namespace zerin::test
