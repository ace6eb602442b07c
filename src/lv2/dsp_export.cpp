// The DSP library's one exported symbol (LV2_SYMBOL_EXPORT makes it extern "C", visible).

#include "lv2/dsp_plugin.h"

#include <iterator>

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index < std::size(zerin::lv2::kDescriptors) ? &zerin::lv2::kDescriptors[index] : nullptr;
}
