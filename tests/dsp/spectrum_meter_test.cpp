// The analyser's levels as the kernel measures them: calibrated in dBFS, with the meter's
// ballistics, about 30 snapshots a second and none while nobody listens.

#include "kernel_test_support.h"

namespace zerin::test {
namespace {

constexpr double kRate = 48000.0;
constexpr int kBin = 100;

struct Reading {
    double seconds;
    std::vector<float> rows; // SpectrumMeter::kRows rows of kNumBins, dBFS
    FrameStamp stamp;
};

float at(const Reading& r, SpectrumMeter::Row row, int bin) {
    return r.rows[static_cast<std::size_t>(row) * kNumBins + bin];
}

// A full-scale sine centred on kBin for `on` seconds, then silence, through a kernel that
// delays nothing and feeds nothing back, so what comes out is what went in; every snapshot
// taken between 512-sample calls, with the time it was taken.
std::vector<Reading> meterASineBurst(double on, double total, bool wanted = true) {
    auto k = makeKernel(1, kRate, {.dryWet = 100.0f, .feedback = 0.0f, .lfoDepth = 0.0f});
    const CurvePoint none[] = {{1000.0f, 0.0f}};
    k->setCurve(CurveSlot::a, CurveKind::delay, none, 1);
    k->setFrameWanted(DisplayFrameKind::levels, wanted);
    const auto n = static_cast<std::size_t>(total * kRate);
    Signal s = binSine(n, kBin, 1.0f);
    std::fill(s.begin() + static_cast<std::ptrdiff_t>(on * kRate), s.end(), 0.0f);
    std::vector<Reading> readings;
    std::vector<Event> events;
    for (std::size_t at = 512; at < n; at += 512)
        events.emplace_back(at, [&readings, at](Kernel& kernel) {
            Reading r{static_cast<double>(at) / kRate,
                      std::vector<float>(SpectrumMeter::kRows * kNumBins),
                      {}};
            if (kernel.takeFrame(DisplayFrameKind::levels, r.rows.data(), r.stamp))
                readings.push_back(std::move(r));
        });
    render(*k, {s}, 512, events);
    return readings;
}

const Reading& readingAt(const std::vector<Reading>& readings, double seconds) {
    const Reading* best = &readings.front();
    for (const Reading& r : readings)
        if (r.seconds <= seconds) best = &r;
    return *best;
}

TEST(SpectrumMeter, AFullScaleSineReadsZeroDbfsInAndOutWithTheMetersBallistics) {
    const std::vector<Reading> readings = meterASineBurst(1.0, 3.0);
    // Steady: 0 dBFS on its bin, in and out, and far below beside it.
    const Reading& steady = readingAt(readings, 0.9);
    EXPECT_NEAR(at(steady, SpectrumMeter::input, kBin), 0.0f, 0.3f);
    EXPECT_NEAR(at(steady, SpectrumMeter::output, kBin), 0.0f, 0.5f);
    EXPECT_LT(at(steady, SpectrumMeter::input, kBin + 10), -50.0f);
    EXPECT_EQ(steady.stamp.sampleRate, kRate);
    // A fast attack: within 3 dB 60 ms after the sine reaches a whole frame.
    EXPECT_GT(at(readingAt(readings, 2048 / kRate + 0.06), SpectrumMeter::input, kBin), -3.0f);
    // A slow release: about 1/e (-8.7 dB) 0.3 s after the input went silent (the frame takes
    // 2048 samples to empty), nowhere near silence.
    const double silent = 1.0 + 2048 / kRate;
    const float released = at(readingAt(readings, silent + 0.3), SpectrumMeter::input, kBin);
    EXPECT_LT(released, -5.0f);
    EXPECT_GT(released, -13.0f);
    // The peak holds for a second, then falls.
    EXPECT_NEAR(at(readingAt(readings, silent + 0.8), SpectrumMeter::inputPeak, kBin), 0.0f, 0.5f);
    EXPECT_LT(at(readingAt(readings, silent + 1.9), SpectrumMeter::inputPeak, kBin), -10.0f);
    // Every value is a number at or above the floor.
    for (const Reading& r : readings)
        for (float v : r.rows)
            ASSERT_TRUE(v >= SpectrumMeter::kFloorDb && v <= 10.0f) << v;
}

TEST(SpectrumMeter, ThirtySnapshotsASecondWhileWantedAndNoneOtherwise) {
    const std::vector<Reading> readings = meterASineBurst(1.0, 2.0);
    EXPECT_GE(readings.size(), 55u);
    EXPECT_LE(readings.size(), 61u);
    for (std::size_t i = 1; i < readings.size(); ++i)
        EXPECT_GT(readings[i].stamp.sequence, readings[i - 1].stamp.sequence);
    EXPECT_TRUE(meterASineBurst(1.0, 2.0, false).empty());
}

} // namespace
} // namespace zerin::test
