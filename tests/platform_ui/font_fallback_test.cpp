// Text on a machine without Zerin's preferred family: this suite's fontconfig sees the DejaVu
// fonts only (see CMakeLists.txt), as a system without Inter would.

#include "platform/ui/graphics.h"
#include "platform/ui/offscreen.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zerin {
namespace {

TEST(TextWithoutInter, FallsBackToDejaVuSansInEveryWeightAndKeepsTheMonospacedFamily) {
    // Left to fontconfig, a family that is missing resolves to whatever scores best, which
    // may be a serif or a maths font.
    EXPECT_EQ(resolvedFontFamily(FontDesign::standard), "DejaVu Sans");
    EXPECT_EQ(resolvedFontFamily(FontDesign::monospaced), "DejaVu Sans Mono");

    const Font regular{12};
    const Font bold{12, FontWeight::bold};
    EXPECT_GT(measureText("FEEDBACK", bold).width, measureText("FEEDBACK", regular).width + 0.5);
    const Font mono{10, FontWeight::regular, FontDesign::monospaced};
    EXPECT_EQ(measureText("iiii", mono).width, measureText("MMMM", mono).width);

    // And it is drawn, where it was measured to be.
    OffscreenImage image({200, 40}, 2.0);
    image.draw([&](Graphics& g) { g.drawText("Init", regular, {1, 1, 1, 1}, {100, 20}); });
    int inked = 0;
    double left = 200.0;
    double right = 0.0;
    for (double y = 0.0; y < 40.0; y += 0.5)
        for (double x = 0.0; x < 200.0; x += 0.5)
            if (image.colorAt({x, y}).alpha > 0.5) {
                ++inked;
                left = std::min(left, x);
                right = std::max(right, x);
            }
    EXPECT_GT(inked, 20);
    EXPECT_NEAR(right - left, measureText("Init", regular).width, 2.0);
}

} // namespace
} // namespace zerin
