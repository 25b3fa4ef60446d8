// The libFuzzer entry for one target, named at build time. A problem found is
// printed and turned into a crash, so libFuzzer keeps the input.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "fuzz/targets.h"

namespace {

drifton::fuzz::TargetFunction targetFunction() {
    const auto& targets = drifton::fuzz::kTargets;
    const auto* found = std::find_if(targets.begin(), targets.end(), [](const auto& target) {
        return target.name == DRIFTON_FUZZ_TARGET;
    });
    return found != targets.end() ? found->run : nullptr;
}

const drifton::fuzz::TargetFunction run = targetFunction();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (run == nullptr) {
        std::fprintf(stderr, "error: no fuzz target named %s\n", DRIFTON_FUZZ_TARGET);
        std::abort();
    }
    const std::string problem = run(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "drifton fuzz problem: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
