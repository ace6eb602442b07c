// A failing machine and an impatient user: a disk that fills while the encoder finishes,
// signals mid-render, a folder renamed under the render, names at the length limit. Each
// leaves either the finished file or nothing at all, and never harms an earlier output.

#include "render_cli.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace zerin::test {
namespace {

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
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(child, signal);
        const RunResult run = finish(child);
        EXPECT_NE(run.status, 0);
        EXPECT_EQ(listing(), before);
    }
}

TEST_F(RenderCli, TheOutputFollowsItsFolderWhenItIsRenamedMidRender) {
    writeAudio(dir / "in.wav", noise(2, 44100));
    fs::create_directory(dir / "takes");
    const pid_t child = start({"-q", "in.wav", "-o", "takes/out.wav", "--tail", "300"});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    fs::rename(dir / "takes", dir / "renamed");
    const RunResult run = finish(child);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(listing(dir / "renamed"), std::set<std::string>{"out.wav"});
    EXPECT_EQ(readAudio(dir / "renamed" / "out.wav").frames(), 301u * 44100u);
}

TEST_F(RenderCli, NamesUpToTheFileSystemsLimitAreWritten) {
    writeAudio(dir / "in.wav", noise(1, 4000));
    const std::string name = std::string(251, 'a') + ".wav"; // 255 bytes
    EXPECT_EQ(rendered({"in.wav"}, name).frames(), 4000u + 110250u);
    EXPECT_EQ(listing(), (std::set<std::string>{"in.wav", name}));
}

TEST_F(RenderCli, CurvePointsReachTheUnitInFrequencyOrder) {
    writeAudio(dir / "in.wav", noise(1, 4000));
    ASSERT_EQ(render({"-q", "in.wav", "--curve", "5000:300,100:0,900:50,100:20", "--save-state",
                      "state.json"})
                  .status,
              0);
    const auto state = nlohmann::json::parse(readText(dir / "state.json"));
    std::vector<std::pair<float, float>> curve;
    for (const auto& point : state.at("spectralCurve"))
        curve.emplace_back(point.at("freq").get<float>(), point.at("delay").get<float>());
    const std::vector<std::pair<float, float>> sorted = {
        {100.0f, 0.0f}, {100.0f, 20.0f}, {900.0f, 50.0f}, {5000.0f, 300.0f}};
    EXPECT_EQ(curve, sorted);
}

} // namespace
} // namespace zerin::test
