// The DSP library's one exported symbol.

#include "lv2/dsp_plugin.h"

#include <iterator>

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index < std::size(zerin::lv2::kDescriptors) ? &zerin::lv2::kDescriptors[index] : nullptr;
}
