// The plug-in file once more, for tests only: the same panner with its block
// kernel fixed to the baseline path, so that the suites that load the plug-in
// file hold that path to the model too on a CPU with AVX2 and FMA.
#include "framework/effect_factory.h"
#include "panner/drifton_vst.h"

namespace {

class BaselineDrifton : public DriftonVST {
public:
    explicit BaselineDrifton(audioMasterCallback callback)
        : DriftonVST(callback, drifton::KernelPath::kBaseline) {}
};

}  // namespace

#define DRIFTON_EXPORT extern "C" __attribute__((visibility("default")))

DRIFTON_EXPORT AEffect* VSTPluginMain(audioMasterCallback hostCallback) noexcept {
    return createEffectInstance<BaselineDrifton>(hostCallback);
}

DRIFTON_EXPORT AEffect* vstLegacyMain(audioMasterCallback hostCallback) noexcept __asm__("main")
    __attribute__((alias("VSTPluginMain")));
