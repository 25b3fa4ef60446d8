// The body of a plug-in's entry point, for any effect class built on the
// framework.
#pragma once

#include <new>

#include "vst/vst_opcodes.h"
#include "vst/vst_records.h"

// Host's loading thread. Handshakes with the host (null record,
// audioMasterVersion), creates one Effect and returns its record. Answers null
// when there is no callback, when the host answers 0, or when the object cannot
// be allocated; nothing thrown escapes to the host.
template <typename Effect>
AEffect* createEffectInstance(audioMasterCallback hostCallback) noexcept {
    if (hostCallback == nullptr) {
        return nullptr;
    }
    try {
        if (hostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
            return nullptr;
        }
        auto* effect = new (std::nothrow) Effect(hostCallback);
        return effect != nullptr ? effect->getEffectRecord() : nullptr;
    } catch (...) {
        return nullptr;
    }
}
