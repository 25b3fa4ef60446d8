// The panner suites' main: reads --kernel-path before handing the command
// line to GoogleTest.
#include "tests/kernel_under_test.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "framework/effect_factory.h"
#include "panner/drifton_vst.h"
#include "tests/plugin_fixture.h"

namespace {

drifton::KernelPath chosenPath = drifton::fastestKernelPath();

class DriftonUnderTest : public DriftonVST {
public:
    explicit DriftonUnderTest(audioMasterCallback callback) : DriftonVST(callback, chosenPath) {}
};

}  // namespace

drifton::KernelPath pantest::kernelUnderTest() { return chosenPath; }

AEffect* pantest::inProcessEntry(audioMasterCallback callback) {
    return createEffectInstance<DriftonUnderTest>(callback);
}

const char* pluginFileUnderTest() {
    return chosenPath == drifton::KernelPath::kBaseline ? DRIFTON_BASELINE_PLUGIN_PATH
                                                        : DRIFTON_PLUGIN_PATH;
}

int main(int argc, char** argv) {
    constexpr const char* kOption = "--kernel-path=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kOption, std::strlen(kOption)) != 0) {
            continue;
        }
        const char* name = argv[i] + std::strlen(kOption);
        if (std::strcmp(name, "baseline") == 0) {
            chosenPath = drifton::KernelPath::kBaseline;
        } else if (std::strcmp(name, "fastest") != 0) {
            std::fprintf(stderr, "error: --kernel-path must be baseline or fastest, not '%s'\n",
                         name);
            return 2;
        }
    }
    ::testing::InitGoogleTest(&argc, argv);
    std::printf("Kernel path under test: %s\n", drifton::kernelPathName(chosenPath));
    return RUN_ALL_TESTS();
}
