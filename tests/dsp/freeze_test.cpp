// Freeze as musicians hear it: a held chord should sound held, not pulse.

#include "kernel_test_support.h"

#include <cmath>
#include <complex>

namespace zerin::test {
namespace {

constexpr double kRate = 48000.0;

// Three sines of a chord (A minor, off every bin centre) and light noise, 0.3 of full scale.
Signal steadyChord(std::size_t n) {
    Signal s = noise(n, 5, 0.003f);
    for (const double hz : {220.0, 261.63, 329.63})
        for (std::size_t i = 0; i < n; ++i)
            s[i] += 0.1f * static_cast<float>(std::sin(2.0 * M_PI * hz * i / kRate));
    return s;
}

// How strongly the level of `s` (from `from` on) swings at `hz`, in dB against its mean
// level: the RMS in 256-sample windows every 64 samples, and that envelope's component at
// `hz` (its amplitude, twice the DFT magnitude over the count) over its mean.
double modulationDb(const Signal& s, std::size_t from, double hz) {
    constexpr std::size_t kWindow = 256, kStep = 64;
    std::vector<double> envelope;
    for (std::size_t at = from; at + kWindow <= s.size(); at += kStep) {
        double sum = 0.0;
        for (std::size_t i = at; i < at + kWindow; ++i)
            sum += static_cast<double>(s[i]) * s[i];
        envelope.push_back(std::sqrt(sum / kWindow));
    }
    double mean = 0.0;
    std::complex<double> component;
    for (std::size_t j = 0; j < envelope.size(); ++j) {
        mean += envelope[j];
        component += envelope[j] * std::polar(1.0, -2.0 * M_PI * hz * (j * kStep) / kRate);
    }
    mean /= static_cast<double>(envelope.size());
    const double amplitude = 2.0 * std::abs(component) / static_cast<double>(envelope.size());
    return 20.0 * std::log10(amplitude / mean);
}

// The chord frozen at 1 s (all wet, no feedback, mode freeze from delay) in `style`, and the
// strength of its swing at the frame rate from 1.5 s on, when only the held spectrum sounds.
double frozenChordModulation(const Signal& chord, float style, float sensitivity = 0.0f) {
    auto k = makeKernel(
        1, kRate,
        {.dryWet = 100.0f, .feedback = 0.0f, .lfoDepth = 0.0f, .sensitivity = sensitivity});
    k->setParameter(parameter::freezeStyle, style);
    const Signal out =
        render(*k, {chord}, 512, {{static_cast<std::size_t>(kRate), [](Kernel& kernel) {
                                       kernel.setParameter(parameter::mode, 1.0f);
                                   }}})[0];
    return modulationDb(out, static_cast<std::size_t>(1.5 * kRate), kRate / kFFTSize);
}

// The classic freeze turns every bin at its centre frequency, so the held sound repeats every
// 2048 samples and neighbouring bins of one partial beat: a frozen chord pulses at 23.4 Hz
// (48 kHz). The smooth freeze turns each bin at the frequency measured in it and holds the
// chord still: at least 30 dB less of that pulse.
TEST(Freeze, ASmoothFreezeHoldsASteadyChordWithoutTheClassicPulse) {
    const Signal chord = steadyChord(static_cast<std::size_t>(4.0 * kRate));
    const double live =
        modulationDb(chord, static_cast<std::size_t>(1.5 * kRate), kRate / kFFTSize);
    const double classic = frozenChordModulation(chord, 0.0f);
    const double smooth = frozenChordModulation(chord, 1.0f);
    // With Source up, transient bins turn as the classic ones do; a steady chord has none.
    const double smoothWithSource = frozenChordModulation(chord, 1.0f, 50.0f);
    RecordProperty("classic_db", std::to_string(classic));
    RecordProperty("smooth_db", std::to_string(smooth));
    std::printf("frame-rate modulation: live %.1f dB, classic %.1f dB, smooth %.1f dB, "
                "smooth with Source %.1f dB\n",
                live, classic, smooth, smoothWithSource);
    EXPECT_GT(classic, -30.0);
    EXPECT_LT(live, classic - 20.0);
    EXPECT_LT(smooth, classic - 30.0);
    EXPECT_LT(smoothWithSource, classic - 30.0);
}

// Classic stays the default and sounds as it always did (the golden freeze renders hold it to
// the bit); the style may change while a capture is held, without a new capture.
TEST(Freeze, TheStyleIsClassicByDefaultAndMayChangeWhileHeld) {
    Kernel fresh;
    EXPECT_EQ(fresh.getParameter(parameter::freezeStyle), 0.0f);
    const Signal chord = steadyChord(static_cast<std::size_t>(3.0 * kRate));
    auto k = makeKernel(1, kRate, {.dryWet = 100.0f, .feedback = 0.0f, .lfoDepth = 0.0f});
    const Signal out =
        render(*k, {chord}, 512,
               {{static_cast<std::size_t>(kRate),
                 [](Kernel& kernel) { kernel.setParameter(parameter::mode, 1.0f); }},
                {static_cast<std::size_t>(1.5 * kRate),
                 [](Kernel& kernel) { kernel.setParameter(parameter::freezeStyle, 1.0f); }},
                {static_cast<std::size_t>(1.5 * kRate) + 1,
                 // Silence from here: only the capture can sound.
                 [](Kernel&) {}}})[0];
    EXPECT_LT(modulationDb(out, static_cast<std::size_t>(2.0 * kRate), kRate / kFFTSize),
              frozenChordModulation(chord, 0.0f) - 30.0);
}

// The freeze parameter holds the input spectrum in delay mode as the freeze mode holds it:
// the smooth style keeps a held chord still there too.
TEST(Freeze, TheFreezeParameterHoldsInDelayModeAndTurnsAsItsStyleSays) {
    const Signal chord = steadyChord(static_cast<std::size_t>(3.0 * kRate));
    auto held = [&](float style) {
        auto k = makeKernel(1, kRate, {.dryWet = 100.0f, .feedback = 0.0f, .lfoDepth = 0.0f});
        const CurvePoint straight{1000.0f, 0.0f};
        k->setCurve(CurveSlot::a, CurveKind::delay, &straight, 1);
        k->setParameter(parameter::freezeStyle, style);
        const Signal out =
            render(*k, {chord}, 512, {{static_cast<std::size_t>(kRate), [](Kernel& kernel) {
                                           kernel.setParameter(parameter::freeze, 1.0f);
                                       }}})[0];
        EXPECT_TRUE(k->holding());
        return modulationDb(out, static_cast<std::size_t>(1.5 * kRate), kRate / kFFTSize);
    };
    const double classic = held(0.0f);
    EXPECT_GT(classic, -30.0);
    EXPECT_LT(held(1.0f), classic - 30.0);
}

// The fade in and out is equal-power: halfway, the live and the held sound (unrelated noise)
// add up to the mean of their powers, where a linear fade would dip 3 dB. Once faded out, the
// output is the live input's again, bit for bit.
TEST(Freeze, TheFadeKeepsThePowerAndTheReleaseGivesBackTheLiveInput) {
    const Signal input = noise(static_cast<std::size_t>(3.0 * kRate), 11, 0.3f);
    const std::size_t on = 48000, off = 96000; // 1 s and 2 s
    auto play = [&](bool hold) {
        auto k = makeKernel(1, kRate, {.dryWet = 100.0f, .feedback = 0.0f, .lfoDepth = 0.0f});
        const CurvePoint straight{1000.0f, 0.0f};
        k->setCurve(CurveSlot::a, CurveKind::delay, &straight, 1);
        k->setParameter(parameter::freezeFade, 400.0f);
        std::vector<Event> events;
        if (hold)
            events = {{on, [](Kernel& kernel) { kernel.setParameter(parameter::freeze, 1.0f); }},
                      {off, [](Kernel& kernel) { kernel.setParameter(parameter::freeze, 0.0f); }}};
        return render(*k, {input}, 512, events)[0];
    };
    const Signal out = play(true);
    auto power = [&](std::size_t centre) {
        double sum = 0.0;
        for (std::size_t i = centre - 2048; i < centre + 2048; ++i)
            sum += static_cast<double>(out[i]) * out[i];
        return sum / 4096.0;
    };
    // The capture frame runs at 48127, the first frame after the switch; the fade's middle
    // comes 18.75 frames later and sounds from 1024 samples after its frame.
    const double live = power(40000), held = power(80000);
    const double halfway = power(48127 + 9600 + 1024);
    EXPECT_NEAR(10.0 * std::log10(halfway / (0.5 * (live + held))), 0.0, 1.0);

    const Signal never = play(false);
    const std::size_t back = 96255 + 38 * 512 + 2048; // the fade's last frame, and its output
    EXPECT_NE(out[back - 4096], never[back - 4096]);
    EXPECT_TRUE(std::equal(out.begin() + static_cast<std::ptrdiff_t>(back), out.end(),
                           never.begin() + static_cast<std::ptrdiff_t>(back)));
}

} // namespace
} // namespace zerin::test
