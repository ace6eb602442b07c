#include "dsp/kernel.h"

#include <gtest/gtest.h>

namespace zerin {
namespace {

TEST(KernelState, Smoke) {
    ZerinExtensionDSPKernel k;
    ASSERT_TRUE(k.initialize(2, 48000.0));
}

} // namespace
} // namespace zerin
