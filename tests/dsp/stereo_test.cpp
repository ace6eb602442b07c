// The two sides of a stereo instance apart (spread) and crossing (ping-pong), and what the
// outputs carry: the mix, the wet path alone, or what Source spares.

#include "kernel_test_support.h"

namespace zerin::test {
namespace {

constexpr double kRate = 48000.0;
constexpr float kFlatMs = 400.0f;

// A kernel with every delay drawn at `ms`, all wet, a still LFO, initialised for `channels`.
std::unique_ptr<Kernel> flatKernel(int channels, Settings s, float ms = kFlatMs) {
    auto k = std::make_unique<Kernel>();
    const CurvePoint flat[] = {{20.0f, ms}, {20000.0f, ms}};
    k->setCurve(CurveSlot::a, CurveKind::delay, flat, 2);
    s.dryWet = s.dryWet.value_or(100.0f);
    s.lfoDepth = 0.0f;
    apply(*k, s);
    EXPECT_TRUE(k->initialize(channels, kRate));
    return k;
}

std::size_t loudest(const Signal& s) {
    return static_cast<std::size_t>(
        std::max_element(s.begin(), s.end(),
                         [](float a, float b) { return std::fabs(a) < std::fabs(b); }) -
        s.begin());
}

// Where the loudest sample of `out` lies after `start`, in ms, the latency taken off.
double arrivalMs(const Signal& out, std::size_t start, const Kernel& k) {
    return static_cast<double>(loudest(out) - start - k.frameGeometry().latency()) * 1000.0 / kRate;
}

double energy(const Signal& s, std::size_t from, std::size_t to) {
    double e = 0.0;
    for (std::size_t i = from; i < std::min(to, s.size()); ++i)
        e += static_cast<double>(s[i]) * s[i];
    return e;
}

constexpr std::size_t kStart = 4800;

Channels clickOnLeft(double seconds, bool right = false) {
    Channels in(2, Signal(static_cast<std::size_t>(seconds * kRate)));
    in[0][kStart] = 1.0f;
    if (right) in[1][kStart] = 1.0f;
    return in;
}

// Spread 100 halves the left side's delays and takes the right side's half as far again;
// a mono instance hears the curve as drawn; the right side stops at the history's end.
TEST(Stereo, SpreadMovesTheLeftDelaysDownAndTheRightOnesUpByHalf) {
    const double hopMs = 1000.0 * kHopSize / kRate;
    auto k = flatKernel(2, {.feedback = 0.0f, .stereoSpread = 100.0f});
    const Channels out = render(*k, clickOnLeft(1.2, true), 512);
    EXPECT_NEAR(arrivalMs(out[0], kStart, *k), 200.0, hopMs);
    EXPECT_NEAR(arrivalMs(out[1], kStart, *k), 600.0, hopMs);
    RecordProperty("leftMs", std::to_string(arrivalMs(out[0], kStart, *k)));
    RecordProperty("rightMs", std::to_string(arrivalMs(out[1], kStart, *k)));

    auto half = flatKernel(2, {.feedback = 0.0f, .stereoSpread = 50.0f});
    const Channels halfOut = render(*half, clickOnLeft(1.2, true), 512);
    EXPECT_NEAR(arrivalMs(halfOut[0], kStart, *half), 300.0, hopMs);
    EXPECT_NEAR(arrivalMs(halfOut[1], kStart, *half), 500.0, hopMs);

    auto mono = flatKernel(1, {.feedback = 0.0f, .stereoSpread = 100.0f});
    const Channels monoIn{clickOnLeft(1.2)[0]};
    EXPECT_NEAR(arrivalMs(render(*mono, monoIn, 512)[0], kStart, *mono), 400.0, hopMs);

    // 8 s drawn in the 10 s range: the right side's 12 s is cut at the history, a little
    // past 10 s (the LFO's reach), and reads nothing outside it.
    auto longest =
        flatKernel(2, {.feedback = 0.0f, .delayRange = 1.0f, .stereoSpread = 100.0f}, 8000.0f);
    const Channels far = render(*longest, clickOnLeft(11.0, true), 4096);
    EXPECT_NEAR(arrivalMs(far[0], kStart, *longest), 4000.0, hopMs);
    const double rightMs = arrivalMs(far[1], kStart, *longest);
    EXPECT_GE(rightMs, 10000.0 - hopMs);
    EXPECT_LE(rightMs, 10400.0);
}

// 100 ms of a tone on the left alone. (Repeats carry the phases of the frame they are written
// in, so a click fed back into silence comes out at the frame's edge, where the window is
// zero; a tone comes back whole.)
Channels burstOnLeft(double seconds) {
    Channels in(2, Signal(static_cast<std::size_t>(seconds * kRate)));
    const Signal tone = binSine(4800, 40.0, 0.5f);
    std::copy(tone.begin(), tone.end(), in[0].begin() + kStart);
    return in;
}

// The energy of each side around echo `n` (from 1) of the burst: each repeat comes a frame
// after the delay, where the feedback is written.
std::pair<double, double> echoEnergy(const Channels& out, const Kernel& k, int n) {
    const double at = static_cast<double>(kStart + k.frameGeometry().latency() + 2400) +
                      n * kFlatMs * kRate / 1000.0 + (n - 1) * kHopSize;
    const auto from = static_cast<std::size_t>(at - 0.15 * kRate);
    const auto to = static_cast<std::size_t>(at + 0.15 * kRate);
    return {energy(out[0], from, to), energy(out[1], from, to)};
}

// With ping-pong a burst on the left comes back left, then right, then left...; without it
// every echo stays left. Feedback 0, or a mono instance, makes it change nothing at all.
TEST(Stereo, PingPongSendsEachRepeatToTheOtherSide) {
    const Channels in = burstOnLeft(2.6);
    auto crossing = flatKernel(2, {.feedback = 50.0f, .pingPong = 1.0f});
    auto straight = flatKernel(2, {.feedback = 50.0f});
    const Channels out = render(*crossing, in, 512), kept = render(*straight, in, 512);
    std::string sides;
    for (int n = 1; n <= 5; ++n) {
        SCOPED_TRACE(n);
        const auto [left, right] = echoEnergy(out, *crossing, n);
        const bool onLeft = n % 2 == 1;
        EXPECT_GT(onLeft ? left : right, 1e-3);
        EXPECT_EQ(onLeft ? right : left, 0.0);
        sides += left > right ? "L" : "R";
        // Each repeat as loud as it is without ping-pong, on its own side.
        EXPECT_NEAR(left + right, echoEnergy(kept, *straight, n).first, 1e-3 * (left + right));
    }
    EXPECT_EQ(sides, "LRLRL");
    RecordProperty("sides", sides);
    EXPECT_EQ(energy(kept[1], 0, kept[1].size()), 0.0);

    const Channels noise2{noise(60000, 3), noise(60000, 4)};
    auto silentLoop = flatKernel(2, {.feedback = 0.0f, .pingPong = 1.0f});
    auto plain = flatKernel(2, {.feedback = 0.0f});
    EXPECT_EQ(render(*silentLoop, noise2, 333), render(*plain, noise2, 333));
    auto monoCrossing = flatKernel(1, {.feedback = 60.0f, .stereoSpread = 80.0f, .pingPong = 1.0f});
    auto monoPlain = flatKernel(1, {.feedback = 60.0f});
    EXPECT_EQ(render(*monoCrossing, {noise2[0]}, 333), render(*monoPlain, {noise2[0]}, 333));
}

// "Wet" is the wet path whatever the mix; "Mix" is dry + wet as before.
TEST(Stereo, WetIsTheWetPathWhateverTheMix) {
    const Channels in{noise(40000, 11), noise(40000, 12)};
    auto wetAtZero = flatKernel(2, {.dryWet = 0.0f, .feedback = 40.0f, .listen = 1.0f});
    auto allWet = flatKernel(2, {.dryWet = 100.0f, .feedback = 40.0f});
    EXPECT_EQ(render(*wetAtZero, in, 500), render(*allWet, in, 500));
    auto dry = flatKernel(2, {.dryWet = 0.0f, .feedback = 40.0f, .listen = 0.0f});
    EXPECT_EQ(misalignment(in[1], render(*dry, in, 500)[1], kFFTSize - 1, 1.0f), 0.0f);
}

// Clicks over a steady tone: with Source at 100 "Spared" holds the clicks and little of the
// tone, at once and not a delay later; with Source at 0 it is silent.
TEST(Stereo, SparedHoldsWhatSourceKeepsOutOfTheDelay) {
    const std::size_t n = 4 * static_cast<std::size_t>(kRate);
    constexpr std::size_t kEvery = 12000;
    Signal x = binSine(n, 43.0, 0.25f);
    std::vector<std::size_t> clicks;
    for (std::size_t c = 24000; c + kEvery < n; c += kEvery) {
        clicks.push_back(c);
        for (std::size_t j = 0; j < 64; ++j)
            x[c + j] += (j % 2 == 0 ? 0.9f : -0.9f) * std::exp(-static_cast<float>(j) / 16.0f);
    }
    const Channels in{x, x};
    auto spared = flatKernel(2, {.feedback = 50.0f, .sensitivity = 100.0f, .listen = 2.0f});
    const Channels out = render(*spared, in, 512);
    const std::size_t late = spared->frameGeometry().latency();
    // Within a frame of each click, and in the still stretch between clicks.
    double near = 0.0, between = 0.0;
    for (const std::size_t c : clicks) {
        near += energy(out[0], c + late - kFFTSize / 2, c + late + kFFTSize);
        between += energy(out[0], c + late + 6000, c + late + 6000 + 3 * kFFTSize / 2);
    }
    // The tone and the clicks each alone through the wet path at no delay, in the same stretches.
    auto straight = [&](const Signal& part) {
        auto wet = flatKernel(2, {.feedback = 0.0f, .curveScale = 0.0f});
        return render(*wet, {part, part}, 512)[0];
    };
    const Signal tone = binSine(n, 43.0, 0.25f);
    Signal clicksAlone(n);
    for (std::size_t i = 0; i < n; ++i)
        clicksAlone[i] = x[i] - tone[i];
    const Signal wetTone = straight(tone), wetClicks = straight(clicksAlone);
    double toneBetween = 0.0, clicksNear = 0.0;
    for (const std::size_t c : clicks) {
        toneBetween += energy(wetTone, c + late + 6000, c + late + 6000 + 3 * kFFTSize / 2);
        clicksNear += energy(wetClicks, c + late - kFFTSize / 2, c + late + kFFTSize);
    }
    // A click rated wholly transient would keep 0.9 of its level, 0.81 of its energy.
    const double clicksKept = (near - between) / clicksNear, toneKept = between / toneBetween;
    EXPECT_GT(clicksKept, 0.25);
    EXPECT_LT(toneKept, 0.02);
    RecordProperty("clicksKept", std::to_string(clicksKept));
    RecordProperty("toneKept", std::to_string(toneKept));

    // Source at rest spares nothing, and the analyser's output row says so.
    auto nothing = flatKernel(2, {.feedback = 50.0f, .sensitivity = 0.0f, .listen = 2.0f});
    nothing->setFrameWanted(DisplayFrameKind::levels, true);
    const Channels silent = render(*nothing, in, 512);
    EXPECT_EQ(energy(silent[0], 0, n) + energy(silent[1], 0, n), 0.0);
    std::vector<float> levels(SpectrumMeter::kRows * kMaxNumBins);
    FrameStamp stamp;
    ASSERT_TRUE(nothing->takeFrame(DisplayFrameKind::levels, levels.data(), stamp));
    const int bins = stamp.fftSize / 2 + 1;
    EXPECT_EQ(*std::max_element(levels.begin() + bins, levels.begin() + 2 * bins),
              SpectrumMeter::kFloorDb);
    EXPECT_GT(*std::max_element(levels.begin(), levels.begin() + bins), -20.0f);
}

} // namespace
} // namespace zerin::test
