// The library's exported entry point, under the two names hosts look for.
#include <new>

#include "framework/vst_opcodes.h"
#include "framework/vst_records.h"
#include "panner/drifton_vst.h"

#define DRIFTON_EXPORT extern "C" __attribute__((visibility("default")))

// Host's loading thread. Handshakes with the host, creates one instance and
// returns its record; null when the host answers 0, or when anything fails.
// Nothing thrown escapes to the host.
DRIFTON_EXPORT AEffect* VSTPluginMain(audioMasterCallback hostCallback) noexcept {
    if (hostCallback == nullptr) {
        return nullptr;
    }
    try {
        if (hostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
            return nullptr;
        }
        auto* effect = new (std::nothrow) DriftonVST(hostCallback);
        return effect != nullptr ? effect->getEffectRecord() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

// Older hosts resolve the entry point as `main`; it is the same function.
DRIFTON_EXPORT AEffect* vstLegacyMain(audioMasterCallback hostCallback) noexcept __asm__("main")
    __attribute__((alias("VSTPluginMain")));
