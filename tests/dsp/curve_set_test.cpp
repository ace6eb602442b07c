// The curve set as the kernel hears it: per-band feedback, the A/B morph, the curve macros and
// delays synced to the host tempo.

#include "dsp/note_values.h"
#include "kernel_test_support.h"

#include <cstring>

namespace zerin::test {
namespace {

constexpr double kRate = 44100.0;

float hopsFor(float ms) {
    return static_cast<float>(ms / 1000.0 / (kHopSize / kRate));
}

CurveSet setOf(std::initializer_list<CurvePoint> delayA, std::initializer_list<CurvePoint> shareA,
               std::initializer_list<CurvePoint> delayB, std::initializer_list<CurvePoint> shareB) {
    CurveSet set{};
    const std::initializer_list<CurvePoint>* curves[2][2] = {{&delayA, &shareA},
                                                             {&delayB, &shareB}};
    for (int s = 0; s < 2; ++s)
        for (int k = 0; k < 2; ++k)
            fillCurve(set.curves[s][k], curves[s][k]->begin(),
                      static_cast<int>(curves[s][k]->size()));
    return set;
}

std::unique_ptr<Kernel> kernelWith(const CurveSet& set, const Settings& s, int channels = 1) {
    auto k = std::make_unique<Kernel>();
    apply(*k, s);
    k->setCurveSet(set);
    EXPECT_TRUE(k->initialize(channels, kRate));
    return k;
}

// A tone on bin 40 (861 Hz) and one on bin 300 (6.5 kHz) for 0.3 s, then silence.
Signal twoTonesThenSilence(std::size_t n) {
    Signal s = binSine(n, 40.0, 0.3f);
    const Signal high = binSine(n, 300.0, 0.3f);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = i < 13230 ? s[i] + high[i] : 0.0f;
    return s;
}

// The magnitude of bin `bin` in the 2048 samples of `s` from `at`, Hann-windowed.
float levelAt(const Signal& s, std::size_t at, double bin) {
    double re = 0.0, im = 0.0;
    for (int n = 0; n < kFFTSize; ++n) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * M_PI * n / kFFTSize);
        re += w * s[at + n] * std::cos(2.0 * M_PI * bin * n / kFFTSize);
        im -= w * s[at + n] * std::sin(2.0 * M_PI * bin * n / kFFTSize);
    }
    return static_cast<float>(std::hypot(re, im));
}

TEST(PerBandFeedback, EachBinKeepsItsShareOfTheKnobAndAFlatCurveChangesNoBit) {
    const Settings loud{.dryWet = 100.0f, .feedback = 90.0f, .lfoDepth = 0.0f};
    const Channels in = {twoTonesThenSilence(4 * 44100)};
    // 100 ms everywhere; feedback shares: none below 2 kHz, all above it.
    const auto split = kernelWith(
        setOf({{1000, 100}}, {{1900, 0}, {2100, 100}}, {{1000, 100}}, {{1900, 0}, {2100, 100}}),
        loud);
    const Signal out = render(*split, in, 256)[0];
    // A second after the input stops: the low tone's single echo is long gone, the high
    // tone still circulates.
    const std::size_t late = 13230 + 44100;
    EXPECT_LT(levelAt(out, late, 40.0), 1e-3f * levelAt(out, 13230, 40.0));
    EXPECT_GT(levelAt(out, late, 300.0), 0.05f * levelAt(out, 13230, 300.0));

    // A flat curve at 100 % is the knob alone, bit for bit, in delay and in scatter.
    for (const float mode : {0.0f, 2.0f}) {
        Settings s = loud;
        s.mode = mode;
        s.sensitivity = 40.0f;
        const auto flat = kernelWith(
            setOf({{1000, 100}}, {{500, 100}, {5000, 100}}, {{1000, 100}}, {{1000, 100}}), s);
        const auto knob =
            kernelWith(setOf({{1000, 100}}, {{1000, 100}}, {{1000, 100}}, {{1000, 100}}), s);
        EXPECT_EQ(render(*flat, in, 300), render(*knob, in, 300)) << mode;
    }
}

TEST(PerBandFeedback, TheLoopLimitHoldsWithAnyShares) {
    // Full feedback on one band, none elsewhere, fed hot: the loop stays below its ceiling.
    const auto k = kernelWith(setOf({{1000, 60}}, {{200, 0}, {800, 100}, {3000, 100}, {9000, 0}},
                                    {{1000, 60}}, {{1000, 100}}),
                              {.inputGain = 12.0f, .dryWet = 100.0f, .feedback = 100.0f});
    const Signal out = render(*k, {noise(6 * 44100, 4, 1.0f)}, 512)[0];
    float peak = 0.0f;
    for (float v : out)
        peak = std::max(peak, std::fabs(v));
    EXPECT_LT(peak, kWetCeiling);
    EXPECT_GT(peak, kLoopKnee * 0.5f) << "the loop did build up";
}

TEST(Morph, AtItsEndsIsEachSlotAloneAndInBetweenBlendsEveryBin) {
    const CurveSet ab = setOf({{100, 50}, {10000, 900}}, {{1000, 100}}, {{100, 1200}, {10000, 10}},
                              {{100, 20}, {10000, 80}});
    CurveSet onlyB = ab;
    onlyB.curves[0][0] = ab.curves[1][0];
    onlyB.curves[0][1] = ab.curves[1][1];
    CurveSet onlyA = ab;
    onlyA.curves[1][0] = ab.curves[0][0];
    onlyA.curves[1][1] = ab.curves[0][1];
    const Settings base{.feedback = 70.0f};
    const Channels in = {noise(3 * 44100, 5), noise(3 * 44100, 6)};
    Settings atB = base;
    atB.morph = 100.0f;
    EXPECT_EQ(render(*kernelWith(ab, base, 2), in, 512),
              render(*kernelWith(onlyA, base, 2), in, 512));
    EXPECT_EQ(render(*kernelWith(ab, atB, 2), in, 512),
              render(*kernelWith(onlyB, base, 2), in, 512));

    // Halfway, each bin hears the mean of its two delays (in ms) and of its two shares.
    Settings half = base;
    half.morph = 50.0f;
    const auto k = kernelWith(ab, half);
    const auto a = kernelWith(onlyA, base);
    const auto b = kernelWith(onlyB, base);
    for (int bin : {3, 100, 700})
        EXPECT_NEAR(k->mBins.delayHops[bin],
                    0.5f * (a->mBins.delayHops[bin] + b->mBins.delayHops[bin]), 1e-3f)
            << bin;
    EXPECT_NEAR(k->mBins.feedbackWeights[1000], 0.9f, 1e-3f); // 100 % and 80 %
}

// The loudest 256-sample stretch of the third difference of `s` after the first second: a low
// tone's is tiny, a click's is not.
float largestStep(const Signal& s) {
    float step = 0.0f;
    for (std::size_t start = 44100; start + 256 < s.size(); start += 128) {
        double energy = 0.0;
        for (std::size_t n = start; n < start + 256; ++n) {
            const double d = s[n] - 3.0 * s[n - 1] + 3.0 * s[n - 2] - s[n - 3];
            energy += d * d;
        }
        step = std::max(step, static_cast<float>(std::sqrt(energy / 256.0)));
    }
    return step;
}

TEST(Morph, ASweepOverOneSecondStepsNoFurtherThanEitherEnd) {
    const CurveSet ab = setOf({{100, 80}, {10000, 600}}, {{1000, 100}}, {{100, 900}, {10000, 150}},
                              {{100, 30}, {10000, 90}});
    const Settings base{.dryWet = 100.0f, .feedback = 60.0f, .lfoDepth = 0.0f};
    // Two low tones, and the sweep as a host sends it, a value per 1024-frame block.
    Signal tones = binSine(4 * 44100, 3.5, 0.3f);
    const Signal second = binSine(4 * 44100, 7.25, 0.3f);
    for (std::size_t i = 0; i < tones.size(); ++i)
        tones[i] += second[i];
    const Channels in = {tones};
    const auto sweep = kernelWith(ab, base);
    std::vector<Event> ramp;
    for (std::size_t at = 44100; at <= 2 * 44100; at += 1024)
        ramp.emplace_back(at, [at](Kernel& k) {
            k.setParameter(parameter::morph, 100.0f * static_cast<float>(at - 44100) / 44100.0f);
        });
    const float swept = largestStep(render(*sweep, in, 64, ramp)[0]);
    Settings atB = base;
    atB.morph = 100.0f;
    const float still = std::max(largestStep(render(*kernelWith(ab, base), in, 64)[0]),
                                 largestStep(render(*kernelWith(ab, atB), in, 64)[0]));
    EXPECT_LE(swept, still * 1.05f) << "swept " << swept << ", unmodulated " << still;
}

TEST(CurveMacros, ScaleMultipliesEveryDelayAndShiftMovesTheCurvesAlongFrequency) {
    const CurveSet set = setOf({{100, 100}, {1000, 900}, {8000, 300}}, {{1000, 100}},
                               {{100, 100}, {1000, 900}, {8000, 300}}, {{1000, 100}});
    const auto plain = kernelWith(set, {});
    const auto half = kernelWith(set, {.curveScale = 50.0f});
    const auto twice = kernelWith(set, {.curveScale = 200.0f});
    const auto octaveUp = kernelWith(set, {.curveShift = 12.0f});
    for (int bin = 1; bin < 512; bin += 37) {
        EXPECT_NEAR(half->mBins.delayHops[bin], 0.5f * plain->mBins.delayHops[bin], 1e-4f) << bin;
        EXPECT_NEAR(twice->mBins.delayHops[bin],
                    std::min(2.0f * plain->mBins.delayHops[bin], hopsFor(2000.0f)), 1e-3f)
            << bin;
        // Up an octave: bin 2k hears what bin k heard, to within half a millisecond (the
        // shifted curves are read between points 1/48 octave apart).
        EXPECT_NEAR(octaveUp->mBins.delayHops[2 * bin], plain->mBins.delayHops[bin], hopsFor(0.5f))
            << bin;
    }
}

TEST(CurveMacros, AtTheirDefaultsTheyWorkNothingOut) {
    const auto k =
        kernelWith(setOf({{1000, 300}}, {{1000, 100}}, {{1000, 300}}, {{1000, 100}}), {});
    render(*k, {noise(44100, 2)}, 512);
    const CurveShaping& s = k->curveShaping();
    EXPECT_FALSE(s.slotsStale || s.combineStale || s.gliding);
    EXPECT_TRUE(s.feedbackFlat);
}

TEST(DelaySync, DelaysSnapToTheNearestNoteValueAndGlideToANewTempo) {
    // At 120 BPM an eighth is 250 ms, a dotted eighth 375 ms, a quarter 500 ms.
    const NoteValue eighth = noteValues()[nearestNoteValue(260.0f, 120.0, 2000.0f)];
    EXPECT_TRUE(eighth.denominator == 8 && eighth.feel == NoteFeel::straight);
    EXPECT_EQ(noteValues()[nearestNoteValue(380.0f, 120.0, 2000.0f)].feel, NoteFeel::dotted);
    // At 30 BPM a quarter is 2000 ms, the longest that fits.
    EXPECT_EQ(noteValues()[nearestNoteValue(5000.0f, 30.0, 2000.0f)].ms(30.0), 2000.0);
    EXPECT_EQ(nearestNoteValue(0.0f, 120.0, 2000.0f), 0) << "the shortest, 1/64 triplet";
    // In the 10 s range four bars are reachable from 96 BPM up (exactly 10 s there), not below.
    EXPECT_EQ(noteValues()[nearestNoteValue(1e6f, 96.0, kLongestDelayMs)].ms(96.0), 10000.0);
    EXPECT_LT(noteValues()[nearestNoteValue(1e6f, 95.0, kLongestDelayMs)].ms(95.0), 10000.0);

    const auto k = kernelWith(setOf({{1000, 260}}, {{1000, 100}}, {{1000, 260}}, {{1000, 100}}),
                              {.delaySync = 1.0f});
    k->setHostTempo(120.0);
    render(*k, {Signal(2 * kHopSize, 0.0f)}, 512);
    // Synced while running: a glide from 260 ms to 250 ms.
    render(*k, {Signal(20 * kHopSize, 0.0f)}, 512);
    EXPECT_NEAR(k->mBins.delayHops[100], hopsFor(250.0f), 1e-4f);
    // A new tempo: at 100 BPM the nearest is a dotted sixteenth, 225 ms (an eighth is 300 ms,
    // its triplet 200 ms), reached by steps, none a jump.
    k->setHostTempo(100.0);
    float last = k->mBins.delayHops[100];
    float largest = 0.0f;
    int frames = 0;
    do {
        render(*k, {Signal(kHopSize, 0.0f)}, 512);
        largest = std::max(largest, std::fabs(k->mBins.delayHops[100] - last));
        last = k->mBins.delayHops[100];
    } while (k->mBins.delayHops[100] != k->mBins.targetDelayHops[100] && ++frames < 100);
    EXPECT_NEAR(k->mBins.delayHops[100], hopsFor(225.0f), 1e-4f);
    EXPECT_LT(frames, 100);
    EXPECT_GT(frames, 5);
    EXPECT_LT(largest, 0.25f * (hopsFor(250.0f) - hopsFor(225.0f)));
    // Off again: the drawn delay, by the same glide.
    k->setParameter(parameter::delaySync, 0.0f);
    render(*k, {Signal(100 * kHopSize, 0.0f)}, 512);
    EXPECT_NEAR(k->mBins.delayHops[100], hopsFor(260.0f), 1e-4f);
}

TEST(CurveHandOver, ASetIsTakenWholeAndACurveOfNoPointKeepsTheOneBefore) {
    auto k = kernelWith(setOf({{1000, 300}}, {{1000, 100}}, {{1000, 300}}, {{1000, 100}}), {});
    CurveSet next = setOf({{1000, 700}}, {{1000, 40}}, {{500, 100}}, {{1000, 60}});
    next.curves[1][1].count = 0; // B's feedback: no point
    const CurvePoint nan[] = {{NAN, 5.0f}};
    k->setCurveSet(next);
    k->setCurve(CurveSlot::b, CurveKind::delay, nan, 1); // no usable point either
    const CurveSet& latest = k->latestCurveSet();
    EXPECT_EQ(latest.at(CurveSlot::a, CurveKind::delay).points[0].value, 700.0f);
    EXPECT_EQ(latest.at(CurveSlot::a, CurveKind::feedback).points[0].value, 40.0f);
    EXPECT_EQ(latest.at(CurveSlot::b, CurveKind::delay).points[0].value, 100.0f);
    EXPECT_EQ(latest.at(CurveSlot::b, CurveKind::feedback).points[0].value, 100.0f);
    render(*k, {Signal(kHopSize, 0.0f)}, 512);
    EXPECT_NEAR(k->mBins.delayHops[10], hopsFor(700.0f), 1e-4f);
    EXPECT_NEAR(k->mBins.feedbackWeights[10], 0.4f, 1e-6f);
}

} // namespace
} // namespace zerin::test
