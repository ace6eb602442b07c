// The audio path and the kernel's life, and the polynomial atan2 and sincos.

#include "dsp/fft.h"
#include "dsp/polar.h"
#include "dsp/vector_math.h"
#include "kernel_test_support.h"

#include <random>
#include <xmmintrin.h>

namespace zerin::test {
namespace {

// Noise with a DC offset and a Nyquist component, so both real bins carry signal of either sign.
Signal awkwardNoise(std::size_t n, std::uint32_t seed) {
    Signal s = noise(n, seed, 0.4f);
    for (std::size_t i = 0; i < n; ++i)
        s[i] += ((i & 1) ? -0.1f : 0.1f) + (seed & 1 ? 0.2f : -0.2f);
    return s;
}

// Every frame size's transform and polar form go round to N times the frame, DC and Nyquist
// included; a size that is not one of them gets no plans.
TEST(FrameEngine, EverySizesTransformAndPolarFormRoundTrip) {
    for (const int size : kFFTSizes) {
        SCOPED_TRACE(size);
        FFTSetup* setup = acquireFFTSetup(size);
        ASSERT_NE(setup, nullptr);
        const int bins = size / 2 + 1;
        const Signal in = awkwardNoise(static_cast<std::size_t>(size), 7u);
        float* frame = allocateFloats(static_cast<std::size_t>(size));
        auto* spectrum = reinterpret_cast<std::complex<float>*>(allocateFloats(2 * bins));
        Signal mag(bins), phase(bins);
        std::copy(in.begin(), in.end(), frame);
        forwardFFT(setup, frame, spectrum);
        toPolar(spectrum, mag.data(), phase.data(), bins);
        EXPECT_TRUE(phase[0] == 0.0f || phase[0] == kPi);
        EXPECT_TRUE(phase[bins - 1] == 0.0f || phase[bins - 1] == kPi);
        fromPolar(mag.data(), phase.data(), spectrum, bins);
        inverseFFT(setup, spectrum, frame);
        for (int n = 0; n < size; ++n)
            ASSERT_NEAR(frame[n] / static_cast<float>(size), in[n], 1e-5f) << n;
        freeFloats(frame);
        freeFloats(spectrum);
        releaseFFTSetup(setup);
    }
    EXPECT_EQ(acquireFFTSetup(3000), nullptr);
}

TEST(FrameEngine, WetDryAndBypassedPathsAllLagTheInputByExactlyTheLatency) {
    // The round trip leaves about 5e-7 near 2; a wrong window, gain or latency misses by far more.
    const float cases[][4] = {
        // mix %, input gain dB (the wet part's), gain, tolerance; the wet path delays nothing
        {100.0f, 0.0f, kPassThroughGain, 4e-6f},
        {50.0f, -6.0206f, 0.5f + 0.25f * kPassThroughGain, 4e-6f},
        {0.0f, 12.0f, 1.0f, 0.0f}}; // mix 0: the raw input to the bit, whatever runs wet
    const Channels in = {awkwardNoise(20000, 1), awkwardNoise(20000, 2)};
    for (const auto& [mix, inputGain, gain, tolerance] : cases) {
        Settings settings = kStraightThrough;
        settings.inputGain = inputGain;
        settings.dryWet = mix;
        auto k = makeKernel(2, 44100.0, settings);
        const Channels out = render(*k, in, 333);
        for (int c = 0; c < 2; ++c)
            EXPECT_LE(misalignment(in[c], out[c], kLatencySamples, gain), tolerance) << mix;
    }
    // Bypassed from the start: the raw input, as late as the reported latency, to the bit.
    auto bypassed = std::make_unique<Kernel>();
    bypassed->setBypassed(true);
    ASSERT_TRUE(bypassed->initialize(2, 44100.0));
    Channels inPlace = in;
    float* io[] = {inPlace[0].data(), inPlace[1].data()};
    bypassed->process(io, 2, io, 2, static_cast<int>(in[0].size()));
    for (int c = 0; c < 2; ++c)
        EXPECT_EQ(misalignment(in[c], inPlace[c], kLatencySamples, 1.0f), 0.0f) << "bypassed";
}

TEST(FrameEngine, BypassFadesToTheLatentInputAndBackWithoutATimeJump) {
    // A 5 ms fade each way between the processed output and the latent input; the spectral path
    // runs on meanwhile, so after the way back the output is as without the bypass, to the bit.
    const Channels in = {awkwardNoise(30000, 3), awkwardNoise(30000, 4)};
    const Settings s{.feedback = 60.0f, .lfoDepth = 50.0f};
    const Channels reference = render(*makeKernel(2, 48000.0, s), in, 333);
    constexpr std::size_t kOff = 9000, kOn = 20000, kFade = 240; // 5 ms at 48 kHz
    constexpr std::size_t kLate = kLatencySamples;
    auto k = makeKernel(2, 48000.0, s);
    const Channels out = render(*k, in, 333,
                                {{kOff, [](Kernel& kk) { kk.setBypassed(true); }},
                                 {kOn, [](Kernel& kk) { kk.setBypassed(false); }}});
    for (int c = 0; c < 2; ++c) {
        const Signal& x = in[c];
        for (std::size_t n = 0; n < out[c].size(); ++n) {
            const float processed = reference[c][n];
            const float latent = n >= kLate ? x[n - kLate] : 0.0f;
            if (n < kOff || n >= kOn + kFade) {
                ASSERT_EQ(out[c][n], processed) << c << " " << n;
            } else if (n >= kOff + kFade - 1 && n < kOn) {
                ASSERT_EQ(out[c][n], latent) << c << " " << n;
            } else {
                // Fading: a straight line from one to the other, one 240th a sample.
                const float b = n < kOn ? static_cast<float>(n - kOff + 1) / kFade
                                        : 1.0f - static_cast<float>(n - kOn + 1) / kFade;
                ASSERT_NEAR(out[c][n], processed + b * (latent - processed), 1e-5f)
                    << c << " " << n;
            }
        }
    }
}

TEST(FrameEngine, GainAndMixChangesGlideWithoutAClickAndArrive) {
    // A unit input renders the level: a change moves it by at most 1/200 of itself per sample
    // (a step clicks), never past its target, and arrives within 0.1 % in 10000 samples.
    struct Glide {
        Settings before, after;
        float from, to;
    };
    Settings dryStraight = kStraightThrough, wetStraight = kStraightThrough;
    dryStraight.dryWet = 0;
    wetStraight.dryWet = 100;
    const Glide glides[] = {
        {{.dryWet = 0}, {.outputGain = 12}, 1.0f, 3.9810717f},
        {dryStraight, {.dryWet = 100}, 1.0f, kPassThroughGain},
        {wetStraight, {.inputGain = -12}, kPassThroughGain, 0.2511886f * kPassThroughGain}};
    const Signal ones(24000, 1.0f);
    constexpr std::size_t kChange = 4096; // a wet change shows 2047 samples later
    for (const Glide& g : glides) {
        auto k = makeKernel(1, 48000.0, g.before);
        const Signal out =
            render(*k, {ones}, 77, {{kChange, [&](Kernel& kk) { apply(kk, g.after); }}})[0];
        const float change = std::fabs(g.to - g.from), settled = 1e-3f * std::fabs(g.to);
        EXPECT_NEAR(out[kChange - 1], g.from, 4e-6f * g.from);
        for (std::size_t n = kChange; n < out.size(); ++n) {
            ASSERT_LE(std::fabs(out[n] - out[n - 1]), change / 200.0f + 4e-6f) << n;
            ASSERT_GE((out[n] - g.to) * (g.from - g.to), -settled * change) << n << " overshoots";
        }
        // Where it starts to move: at once, or (the input gain) with the wet path's latency.
        std::size_t start = kChange;
        while (start < out.size() && std::fabs(out[start] - g.from) < 1e-4f * change)
            ++start;
        EXPECT_LE(start, kChange + kLatencySamples);
        EXPECT_NEAR(out[start + 10000], g.to, settled);
    }
}

TEST(FrameEngine, TheLFOTurnsAtItsRateWhateverTheChannelCount) {
    // One second at 13.7 Hz: 0.7 of a turn on, unless advanced per channel, call or frame.
    for (int channels : {1, 2}) {
        auto k = makeKernel(channels, 48000.0, {.lfoRate = 13.7f});
        render(*k, Channels(channels, Signal(48000, 0.25f)), 77);
        EXPECT_NEAR(k->mLFOPhase, 0.7f * kTwoPi, 0.02f) << channels;
    }
}

// Every mode, with the classification off and on, modulation and feedback, and a curve, a
// mode and gliding gains changed mid-stream (freeze captures again over the bad samples).
class Invariance : public ::testing::TestWithParam<std::tuple<float, float>> {};

TEST_P(Invariance, OutputDependsNeitherOnCallSizesNorOnNonFiniteSamples) {
    const auto [mode, sensitivity] = GetParam();
    // A non-finite sample sounds as silence, a huge one as +-2^20: nothing of it may stay.
    Channels clean = {awkwardNoise(24576, 10), noise(24576, 11)}, bad = clean;
    const std::pair<int, float> spots[] = {{3000, NAN},    {3001, INFINITY}, {9000, -INFINITY},
                                           {15000, 1e30f}, {16000, -3e38f},  {16001, NAN}};
    for (std::size_t c = 0; c < 2; ++c)
        for (const auto& [at, v] : spots) {
            bad[c][at] = v;
            clean[c][at] = std::isfinite(v) ? std::copysign(1048576.0f, v) : 0.0f;
        }
    const CurvePoint curve[] = {{50.0f, 30.0f}, {400.0f, 1200.0f}, {3000.0f, 90.0f}};
    const std::vector<Event> events = {
        {12800,
         [&](Kernel& k) {
             k.setCurve(CurveSlot::a, CurveKind::delay, curve, 3);
             apply(k, {.inputGain = 4, .outputGain = -5, .dryWet = 20, .mode = 3 - mode});
         }},
        {16001, [&](Kernel& k) { k.setParameter(parameter::mode, mode); }}};
    Channels first;
    for (std::size_t block : {1024u, 1u, 63u, 512u, 4096u}) {
        auto k = makeKernel(2, 44100.0, {.feedback = 60, .lfoDepth = 50, .tempoSync = 1});
        apply(*k, {.scatterSpeed = 95, .mode = mode, .sensitivity = sensitivity});
        const Channels out = render(*k, block == 1024 ? clean : bad, block, events);
        if (first.empty())
            first = out;
        else
            ASSERT_EQ(out, first) << "block " << block; // NaN != NaN: none may get through
    }
}

INSTANTIATE_TEST_SUITE_P(AllModes, Invariance,
                         ::testing::Combine(::testing::Values(0.0f, 1.0f, 2.0f, 3.0f),
                                            ::testing::Values(0.0f, 50.0f)));

float loudestDelayedMagnitude(const Kernel& k) {
    const ChannelState& ch = *k.mChannels[0];
    return *std::max_element(ch.magDelayLines, ch.magDelayLines + ch.delaySlots * kBinStride);
}

TEST(Feedback, LoudLoopsLevelOffAndTheWetSignalNeverPassesPlus24dBFS) {
    // Full-scale noise, and a click every hop (its bins add in phase), +12 dB into 100 % and
    // 150 % feedback.
    Signal clicks(20 * 44100);
    for (std::size_t n = 0; n < clicks.size(); n += 512)
        clicks[n] = 1.0f;
    const Channels inputs[] = {{noise(20 * 44100, 3, 1.0f), noise(20 * 44100, 4, 1.0f)},
                               {clicks, clicks}};
    for (const Channels& in : inputs)
        for (float mode : {0.0f, 2.0f})
            for (float feedback : {100.0f, 150.0f}) {
                auto k = makeKernel(
                    2, 44100.0,
                    {.inputGain = 12, .dryWet = 100, .feedback = feedback, .mode = mode});
                float peak = 0.0f;
                for (const Signal& s : render(*k, in, 512))
                    for (float v : s)
                        peak = std::max(peak, std::isfinite(v) ? std::fabs(v) : HUGE_VALF);
                EXPECT_LE(peak, kWetCeiling) << mode << " " << feedback;
                // The loop stays near its ceiling, so it dies away once the feedback is lowered.
                EXPECT_LT(loudestDelayedMagnitude(*k), kMaxMagnitude / 64.0f)
                    << mode << " " << feedback;
            }
}

TEST(Feedback, BelowItsKneeTheLoopIsUntouchedAndAboveItLevelsOff) {
    // A tone at 90 % feedback settles at ten times its bin while under +12 dBFS; at +12 dB
    // input it would reach +20 dBFS, and is held lower.
    const CurvePoint none[] = {{1.0f, 0.0f}, {2.0f, 0.0f}};
    const float toneBin = 0.5f * 1672.0f; // a unit sine's magnitude in its own bin
    for (const float gain : {0.0f, 12.0f}) {
        auto k = makeKernel(1, 44100.0, {.inputGain = gain, .feedback = 90, .lfoDepth = 0});
        k->setCurve(CurveSlot::a, CurveKind::delay, none, 2);
        const float amplitude = 0.1f;
        render(*k, {binSine(10 * 44100, 100.0, amplitude)}, 512);
        const float settled = 10.0f * toneBin * amplitude * std::pow(10.0f, gain / 20.0f);
        if (gain == 0.0f)
            EXPECT_NEAR(loudestDelayedMagnitude(*k), settled, settled * 0.01f);
        else
            EXPECT_LT(loudestDelayedMagnitude(*k), settled * 0.8f);
    }
}

TEST(FrameEngine, UnequalChannelCountsRenderWhatBothSidesHaveAndSilenceTheRest) {
    // One input and two outputs, or the reverse: no crash, and no output left as the host's.
    const Signal x = noise(4096, 5);
    const Signal reference = render(*makeKernel(2, 44100.0), {x, x}, 512)[0];
    Signal late(x.size(), 0.0f); // bypassed: the input the latency ago
    std::copy(x.begin(), x.end() - kLatencySamples, late.begin() + kLatencySamples);
    for (const bool bypassed : {false, true}) {
        auto k = makeKernel(2, 44100.0);
        k->setBypassed(bypassed);
        Signal out0(x.size(), 7.0f), out1(x.size(), 7.0f);
        const float* in[] = {x.data(), x.data()};
        float* out[] = {out0.data(), out1.data()};
        for (std::size_t pos = 0; pos < x.size(); pos += 512) {
            const float* ins[] = {in[0] + pos, in[1] + pos};
            float* outs[] = {out[0] + pos, out[1] + pos};
            k->process(ins, 1, outs, 2, 512);
        }
        EXPECT_EQ(out0, bypassed ? late : reference) << bypassed;
        EXPECT_EQ(out1, Signal(x.size(), 0.0f)) << bypassed;
        k->process(in, 2, out, 1, 512); // more inputs than outputs: the first is rendered
    }
}

TEST(FrameEngine, LeavesTheHostsFloatingPointModeAsItFoundIt) {
    // Denormals are flushed only during a call: the host must not inherit flush-to-zero.
    auto k = makeKernel(1, 48000.0, {});
    const unsigned before = _mm_getcsr();
    render(*k, {noise(4096, 3, 0.5f)}, 512);
    EXPECT_EQ(_mm_getcsr(), before);
}

// Every parameter of the table, by its scale: the default, a value inside the range, values
// beyond either end, and values that are no number.
TEST(Parameters, StoreHostUnitsWithinTheirRangeAndReadThemBackByTheirScale) {
    Kernel k;
    const auto readBack = [](const parameter::Range& r, float v) {
        switch (r.scale) {
            case parameter::Scale::percent:
                return v / 100.0f * 100.0f; // a fraction inside: the last bit may go
            case parameter::Scale::toggle:
                return v >= 0.5f ? 1.0f : 0.0f;
            case parameter::Scale::choice:
                return std::trunc(v + (v < 0.0f ? -0.5f : 0.5f));
            default:
                return v;
        }
    };
    for (int a = 0; a < parameter::kCount; ++a) {
        const parameter::Range& r = parameter::kRanges[a];
        SCOPED_TRACE(testing::Message() << "address " << a);
        if (r.output) continue; // below
        EXPECT_EQ(k.getParameter(a), readBack(r, r.defaultValue));
        // A value a third of the way up, and a half just below and at a choice's step.
        for (const float v : {r.min + (r.max - r.min) / 3.0f, r.min + 0.49f, r.min + 0.5f}) {
            if (v > r.max) continue;
            k.setParameter(a, v);
            EXPECT_EQ(k.getParameter(a), readBack(r, v)) << v;
        }
        k.setParameter(a, r.max + 1000.0f);
        EXPECT_EQ(k.getParameter(a), readBack(r, r.max));
        k.setParameter(a, r.min - 1000.0f);
        EXPECT_EQ(k.getParameter(a), readBack(r, r.min));
        for (const float v : {NAN, INFINITY, -INFINITY}) {
            k.setParameter(a, v);
            EXPECT_EQ(k.getParameter(a), readBack(r, r.min)) << v;
        }
    }
    k.setParameter(parameter::kCount, 5.0f); // no such parameter: nothing happens
    EXPECT_EQ(k.getParameter(parameter::kCount), 0.0f);
    // The outputs report what the kernel knows and take nothing.
    k.setHostTempo(93.0);
    k.setParameter(parameter::tempo, 40.0f);
    k.setParameter(parameter::noteHold, 1.0f);
    EXPECT_EQ(k.getParameter(parameter::tempo), 93.0f);
    EXPECT_EQ(k.getParameter(parameter::noteHold), 0.0f);
}

TEST(Lifecycle, InitializeAgainTakesTheNewRateAndChannelCountOrRefusesAnUnusableRate) {
    auto k = makeKernel(1, 48000.0);
    ChannelState* first = k->mChannels[0];
    render(*k, {noise(5000, 1)}, 512);
    // Another rate and channel: as a new kernel, allocating only what is missing.
    ASSERT_TRUE(k->initialize(2, 96000.0));
    EXPECT_EQ(k->mChannels[0], first);
    const Channels x = {noise(8000, 2), noise(8000, 3)};
    EXPECT_EQ(render(*k, x, 512), render(*makeKernel(2, 96000.0), x, 512));

    // Outputs beyond the two that run are silent; at a refused rate, audio passes through.
    const Signal untouched(3000, 12345.0f), silence(3000, 0.0f), y = noise(3000, 4);
    ASSERT_TRUE(k->initialize(6, 44100.0));
    const Channels out = render(*k, {y, y, y}, 512, {}, untouched[0]);
    EXPECT_NE(out[1], untouched);
    EXPECT_EQ(out[2], silence);
    ASSERT_TRUE(k->initialize(1, 44100.0));
    EXPECT_EQ(render(*k, {y, y}, 512, {}, untouched[0])[1], silence);
    for (double rate : {0.0, -44100.0, std::nan(""), HUGE_VAL}) {
        EXPECT_FALSE(k->initialize(1, rate)) << rate;
        EXPECT_EQ(render(*k, {y}, 512)[0], y) << rate;
    }
}

// Distance from the exact value in units of the last place of the float nearest to it.
double ulpError(float got, double exact) {
    const float a = std::fabs(static_cast<float>(exact));
    return std::fabs(got - exact) / (std::nextafter(a, INFINITY) - a);
}

TEST(VectorMath, Atan2AndSincosAreWithinAFewUlp) {
    // atan2 (measured worst 2.8 ulp) at every angle and scale, nearly flat and vertical too.
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-50, 50);
    for (int i = 0; i < 2000000; ++i) {
        const float y = std::ldexp(mantissa(rng), exponent(rng));
        const float x = std::ldexp(mantissa(rng), exponent(rng));
        ASSERT_LE(ulpError(vmath::atan2(y, x), std::atan2(double{y}, double{x})), 3.0)
            << std::hexfloat << y << ", " << x;
    }
    EXPECT_EQ(vmath::atan2(0.0f, 0.0f), 0.0f) << "a silent bin";
    EXPECT_EQ(vmath::atan2(0.0f, -5.0f), kPi);
    // sincos over the phases it is given, [-pi, pi] (measured 1.5 ulp).
    float s, c;
    for (int i = 0; i <= (1 << 22); ++i) {
        const auto x = static_cast<float>(-M_PI + 2.0 * M_PI * i / (1 << 22));
        vmath::sincos(x, s, c);
        ASSERT_LE(ulpError(s, std::sin(double{x})), 2.0) << std::hexfloat << x;
        ASSERT_LE(ulpError(c, std::cos(double{x})), 2.0) << std::hexfloat << x;
    }
    vmath::sincos(kPi, s, c);
    EXPECT_EQ(c, -1.0f) << "a negative real bin (phase pi) comes back whole";
}

} // namespace
} // namespace zerin::test
