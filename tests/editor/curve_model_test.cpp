#include "dsp/curve.h"
#include "editor/curve_model.h"
#include "editor/curve_point.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <set>

namespace zerin {
namespace {

namespace C = ZerinCurveConstants;

TEST(SpectralMode, RawValuesNamesAndOrderMatchTheModeParameter) {
    const char* names[] = {"Delay", "Freeze", "Scatter"};
    for (int raw = 0; raw < 3; ++raw) {
        const auto mode = spectralModeFromRawValue(raw);
        ASSERT_TRUE(mode.has_value());
        EXPECT_EQ(*mode, allSpectralModes[raw]);
        EXPECT_EQ(rawValue(*mode), raw);
        EXPECT_EQ(displayName(*mode), names[raw]);
    }
    EXPECT_FALSE(spectralModeFromRawValue(3).has_value());
    EXPECT_FALSE(spectralModeFromRawValue(-1).has_value());
}

TEST(ZerinCurveConstants, AxisAndDefaultCurveAreTheKernels) {
    EXPECT_EQ(C::logMinFreq(), std::log10(20.0f));
    EXPECT_EQ(C::logFreqRange(), 3.0f);
    const auto& curve = C::defaultCurve();
    ASSERT_EQ(curve.size(), static_cast<std::size_t>(kDefaultCurveCount));
    std::set<Uuid> ids;
    for (std::size_t i = 0; i < curve.size(); ++i) {
        EXPECT_EQ(curve[i].freq, kDefaultCurve[i].freq);
        EXPECT_EQ(curve[i].delay, kDefaultCurve[i].delay);
        ids.insert(curve[i].id);
    }
    EXPECT_EQ(ids.size(), curve.size());
}

TEST(SpectrumColor, HitsEveryStopAndRunsContinuouslyBetween) {
    for (const SpectrumStop& stop : C::spectrumStops)
        EXPECT_EQ(C::spectrumColor(stop.position),
                  (Color{stop.red / 255.0, stop.green / 255.0, stop.blue / 255.0, 1.0}));

    const Color half = C::spectrumColor(0.45);
    EXPECT_NEAR(half.red, (0.0 + 180.0) / 2 / 255, 1e-12);
    EXPECT_NEAR(half.green, (212.0 + 60.0) / 2 / 255, 1e-12);

    // No jump where one segment hands over to the next.
    for (double v = 0.0; v < 1.0; v += 0.001) {
        const Color a = C::spectrumColor(v);
        const Color b = C::spectrumColor(v + 0.001);
        ASSERT_LT(std::fabs(a.red - b.red) + std::fabs(a.green - b.green) +
                      std::fabs(a.blue - b.blue),
                  0.02)
            << v;
    }
}

TEST(CurveControlPoint, JsonRoundTripNeedsEveryKey) {
    const CurveControlPoint point{Uuid::random(), 1234.5f, 0.1f};
    EXPECT_EQ(curvePointFromJson(toJson(point)), point);
    const auto missingId = nlohmann::ordered_json::parse(R"({"freq": 100, "delay": 5})");
    EXPECT_FALSE(curvePointFromJson(missingId).has_value());
    auto badId = toJson(point);
    badId["id"] = "not-a-uuid";
    EXPECT_FALSE(curvePointFromJson(badId).has_value());
}

} // namespace
} // namespace zerin
