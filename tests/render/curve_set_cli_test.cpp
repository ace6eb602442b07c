// The curve set from the command line: each curve by its option, the morph between them, its
// automation, and values the options refuse.

#include "render_cli.h"

#include <nlohmann/json.hpp>

namespace zerin::test {
namespace {

TEST_F(RenderCli, EachCurveOfTheSetHasItsOptionAndMorphReachesSlotB) {
    writeAudio(dir / "in.wav", noise(2, 30000));
    const std::string b = "--curve-b 90:1200,3000:40 --feedback-curve-b 200:10,4000:90";
    const Audio atB = rendered(words("in.wav --tail 0.5 --curve 500:300 --set morph=100 " + b +
                                     " --set feedback=70 --save-state set.json"));
    const auto state = nlohmann::json::parse(readText(dir / "set.json"));
    EXPECT_EQ(
        state["curveSet"]["b"]["delay"],
        nlohmann::json::parse(R"([{"freq": 90, "delay": 1200}, {"freq": 3000, "delay": 40}])"));
    EXPECT_EQ(state["curveSet"]["b"]["feedback"][1],
              nlohmann::json::parse(R"({"freq": 4000, "feedback": 90})"));
    EXPECT_EQ(state["parameters"]["morph"], 100);
    // Wholly at B, the render is B's curves alone, to the bit.
    const Audio onlyB =
        rendered(words("in.wav --tail 0.5 --curve 90:1200,3000:40 --feedback-curve 200:10,4000:90 "
                       "--set feedback=70"));
    EXPECT_EQ(atB.samples, onlyB.samples);
    // And the state plays it again.
    EXPECT_EQ(rendered(words("in.wav --tail 0.5 --state set.json")).samples, atB.samples);

    // Morph automated across the render lands on its exact sample, whatever the block size.
    std::ofstream(dir / "sweep.json") << R"([{"sample": 0, "id": "morph", "value": 0},
        {"sample": 9000, "id": "morph", "value": 60}, {"time": 0.4, "id": "curveShift", "value": 7},
        {"sample": 20000, "id": "curveScale", "value": 150}])";
    const std::string swept = "in.wav --tail 0.3 --curve 500:300 " + b + " --automation sweep.json";
    const Audio whole = rendered(words(swept + " --block-size 512"));
    EXPECT_EQ(rendered(words(swept + " --block-size 37")).samples, whole.samples);
    EXPECT_NE(whole.samples, rendered(words("in.wav --tail 0.3 --curve 500:300 " + b)).samples);
}

TEST_F(RenderCli, AUserPresetKeepsTheWholeSet) {
    writeAudio(dir / "in.wav", noise(2, 4000));
    const RunResult saved = render(
        words("--curve 50:700 --curve-b 100:900 --feedback-curve 300:40 --save-preset Twin"));
    ASSERT_EQ(saved.status, 0) << saved.err;
    rendered(words("in.wav --tail 0 --preset Twin --save-state s.json"));
    const auto curves = nlohmann::json::parse(readText(dir / "s.json"))["curveSet"];
    EXPECT_EQ(curves["a"]["delay"], nlohmann::json::parse(R"([{"freq": 50, "delay": 700}])"));
    EXPECT_EQ(curves["b"]["delay"], nlohmann::json::parse(R"([{"freq": 100, "delay": 900}])"));
    EXPECT_EQ(curves["a"]["feedback"], nlohmann::json::parse(R"([{"freq": 300, "feedback": 40}])"));
    EXPECT_EQ(curves["b"]["feedback"],
              nlohmann::json::parse(R"([{"freq": 1000, "feedback": 100}])"));
}

TEST_F(RenderCli, CurveOptionsRefuseWhatTheyCannotUseAndSayWhich) {
    writeAudio(dir / "in.wav", noise(2, 4000));
    for (const auto& [args, says] : std::initializer_list<std::pair<const char*, const char*>>{
             {"--feedback-curve 100:150", "--feedback-curve: curve point \"100:150\": the "
                                          "feedback must be within 0 to 100 %"},
             {"--feedback-curve-b 100:-1", "--feedback-curve-b: curve point \"100:-1\""},
             {"--curve-b 100", "--curve-b: curve point \"100\" is not HZ:MS"},
             {"--feedback-curve 0:50", "the frequency must be above 0 Hz"},
             {"--set morph=101", "morph"},
             {"--set curveShift=25", "curveShift"}}) {
        const RunResult run = render(words(std::string("in.wav -o out.wav ") + args));
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir / "out.wav")) << args;
    }
}

// A state written back over itself loses nothing: keys this build does not write (a later
// build's, or a hand's) stay where they were, and a file with parts that cannot be used is kept
// aside, as it was, before it is written over.
TEST_F(RenderCli, AStateWrittenBackKeepsWhatItDoesNotUseAndKeepsADamagedFileAside) {
    writeAudio(dir / "in.wav", noise(1, 4000));
    ASSERT_EQ(render(words("in.wav -q -o out.wav --tail 0 --save-state s.json")).status, 0);
    const auto fresh = nlohmann::json::parse(readText(dir / "s.json"));
    const auto writeBack = [&](const nlohmann::json& state) {
        std::ofstream(dir / "s.json") << state.dump(2);
        return render(words("in.wav -q -o out.wav --tail 0 --set feedback=33 --state s.json "
                            "--save-state s.json"));
    };
    const auto asideFiles = [&] {
        std::vector<std::string> names;
        for (const std::string& name : listing())
            if (name.starts_with("s.damaged-")) names.push_back(name);
        return names;
    };

    auto extended = fresh;
    extended["parameters"]["warp"] = 12.5;
    extended["curveSet"]["c"] = {{"delay", nlohmann::json::array()}};
    extended["curveSet"]["a"]["gain"] = -3;
    RunResult run = writeBack(extended);
    ASSERT_EQ(run.status, 0) << run.err;
    auto back = nlohmann::json::parse(readText(dir / "s.json"));
    EXPECT_EQ(back["parameters"]["warp"], 12.5);
    EXPECT_EQ(back["curveSet"]["c"], extended["curveSet"]["c"]);
    EXPECT_EQ(back["curveSet"]["a"]["gain"], -3);
    EXPECT_EQ(back["parameters"]["feedback"], 33); // what the unit plays still wins
    EXPECT_EQ(back["curveSet"]["a"]["delay"], fresh["curveSet"]["a"]["delay"]);
    EXPECT_TRUE(asideFiles().empty()) << "nothing was damaged";

    // One curve's points misspelt, the set not an object, a point among good ones that cannot
    // be used, a value out of range: each is named, and the file is kept before it is
    // replaced.
    auto misspelt = fresh;
    for (auto& point : misspelt["curveSet"]["b"]["feedback"])
        point["feedbak"] = point["feedback"], point.erase("feedback");
    auto notAnObject = fresh;
    notAnObject["curveSet"] = "lost";
    auto onePointBad = fresh;
    onePointBad["curveSet"]["a"]["delay"].push_back({{"freq", "x"}, {"delay", 20}});
    auto outOfRange = fresh;
    outOfRange["parameters"]["dryWet"] = 150;
    const std::pair<const nlohmann::json*, std::string> damaged[] = {
        {&misspelt, "curveSet.b.feedback"},
        {&notAnObject, "curveSet"},
        {&onePointBad, "curveSet.a.delay (1 of"},
        {&outOfRange, "parameters.dryWet"}};
    for (const auto& [state, named] : damaged) {
        for (const std::string& name : asideFiles())
            fs::remove(dir / name);
        const std::string before = state->dump(2);
        run = writeBack(*state);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
        const auto aside = asideFiles();
        ASSERT_EQ(aside.size(), 1u) << named << ": " << run.err;
        EXPECT_EQ(readText(dir / aside[0]), before) << named;
        EXPECT_NE(run.err.find(aside[0]), std::string::npos) << run.err;
        EXPECT_NE(readText(dir / "s.json"), before) << named;
    }

    // Kept aside only when the damaged file itself is written over.
    for (const std::string& name : asideFiles())
        fs::remove(dir / name);
    std::ofstream(dir / "s.json") << misspelt.dump(2);
    run = render(words("in.wav -q -o out.wav --tail 0 --state s.json --save-state t.json"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(asideFiles().empty());
    EXPECT_EQ(readText(dir / "s.json"), misspelt.dump(2));
}

} // namespace
} // namespace zerin::test
