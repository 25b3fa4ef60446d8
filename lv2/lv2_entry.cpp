// The LV2 binary's one exported symbol.
#include <lv2/core/lv2.h>

#include <cstdint>

#include "drifton_lv2/drifton_lv2.h"

// Any thread, before instantiation: the panner's descriptor for index 0, null
// for every other index. Throws nothing (the header's declaration fixes the
// type, so it cannot say noexcept).
LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &drifton::lv2::descriptor() : nullptr;
}
