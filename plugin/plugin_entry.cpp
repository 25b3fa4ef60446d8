// The library's exported entry point, under the two names hosts look for.
#include "framework/effect_factory.h"
#include "panner/drifton_vst.h"

#define DRIFTON_EXPORT extern "C" __attribute__((visibility("default")))

// Host's loading thread: creates one panner instance and returns its record,
// or null when the handshake fails or the instance cannot be made.
DRIFTON_EXPORT AEffect* VSTPluginMain(audioMasterCallback hostCallback) noexcept {
    return createEffectInstance<DriftonVST>(hostCallback);
}

// Older hosts resolve the entry point as `main`; it is the same function.
DRIFTON_EXPORT AEffect* vstLegacyMain(audioMasterCallback hostCallback) noexcept __asm__("main")
    __attribute__((alias("VSTPluginMain")));
