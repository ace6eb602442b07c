// The playable freeze from the command line: automation holds the input spectrum from its
// sample, however the render is cut into calls, and `--set freeze=on` holds from the start.

#include "render_cli.h"

#include <cmath>

namespace zerin::test {
namespace {

double level(const Audio& audio, std::size_t fromFrame) {
    double sum = 0.0;
    const std::size_t from = fromFrame * static_cast<std::size_t>(audio.channels);
    for (std::size_t i = from; i < audio.samples.size(); ++i)
        sum += static_cast<double>(audio.samples[i]) * audio.samples[i];
    return std::sqrt(sum / static_cast<double>(audio.samples.size() - from));
}

TEST_F(RenderCli, TheFreezeIsPlayedFromAutomationAtItsSampleAndHeldPastTheInput) {
    writeAudio(dir / "in.wav", noise(2, 30000));
    // Every bin at once, nothing fed back, all wet: once the input ends, only a hold sounds.
    const std::string straight =
        "in.wav --tail 0.6 --curve 1000:0 --set dryWet=100 --set feedback=0";
    std::ofstream(dir / "held.json") << R"([{"sample": 0, "id": "freezeFade", "value": 100},
        {"sample": 9000, "id": "freeze", "value": 1}, {"sample": 40000, "id": "freeze", "value": 0}])";
    const std::string held = straight + " --automation held.json";
    const Audio whole = rendered(words(held + " --block-size 512"));
    EXPECT_EQ(rendered(words(held + " --block-size 37")).samples, whole.samples);
    const Audio free = rendered(words(straight));
    EXPECT_LT(level(free, 33000), 1e-6);  // silent once the input has gone
    EXPECT_GT(level(whole, 33000), 0.01); // still held after it, until the release
    EXPECT_NE(whole.samples, rendered(words(straight + " --set freeze=on")).samples);
    EXPECT_GT(level(rendered(words(straight + " --set freeze=on")), 33000), 1e-3);
}

} // namespace
} // namespace zerin::test
