// Builds without the LV2 edition: its fuzz target has nothing to run.
#include "fuzz/targets.h"

namespace drifton::fuzz {

std::string runLv2(const std::uint8_t*, std::size_t) { return {}; }

}  // namespace drifton::fuzz
