// Each thunk recovers the effect object from the record's `object` field and
// calls its operation. Nothing leaks back to the host: an exception thrown by
// an operation is caught here and the thunk answers 0. The three processing
// thunks go through the effect's processing boundary, which absorbs the host
// quirks every effect would otherwise repeat.
//
// Contracts: every thunk needs a record returned by the entry point and not
// yet closed.
#include "framework/effect_thunks.h"

#include "framework/audio_effect.h"

namespace {

AudioEffect* effectOf(AEffect* record) { return static_cast<AudioEffect*>(record->object); }

// [dispatcher-thread] On effClose the object is destroyed after its
// dispatcher ran, and the answer is 1; the record is invalid afterwards.
VstIntPtr dispatcherThunk(AEffect* record, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                          void* ptr, float opt) noexcept {
    AudioEffect* effect = effectOf(record);
    VstIntPtr result = 0;
    try {
        result = effect->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        result = 0;
    }
    if (opcode == effClose) {
        try {
            delete effect;
        } catch (...) {
        }
        return 1;
    }
    return result;
}

// [audio-thread]
void processThunk(AEffect* record, float** inputs, float** outputs,
                  VstInt32 sampleFrames) noexcept {
    try {
        effectOf(record)->processAccumulatingAtBoundary(inputs, outputs, sampleFrames);
    } catch (...) {
    }
}

// [audio-thread]
void processReplacingThunk(AEffect* record, float** inputs, float** outputs,
                           VstInt32 sampleFrames) noexcept {
    try {
        effectOf(record)->processReplacingAtBoundary(inputs, outputs, sampleFrames);
    } catch (...) {
    }
}

// [audio-thread]
void processDoubleReplacingThunk(AEffect* record, double** inputs, double** outputs,
                                 VstInt32 sampleFrames) noexcept {
    try {
        effectOf(record)->processDoubleReplacingAtBoundary(inputs, outputs, sampleFrames);
    } catch (...) {
    }
}

// [any-thread] Automation may arrive on the audio thread.
void setParameterThunk(AEffect* record, VstInt32 index, float value) noexcept {
    try {
        effectOf(record)->setParameter(index, value);
    } catch (...) {
    }
}

// [any-thread]
float getParameterThunk(AEffect* record, VstInt32 index) noexcept {
    try {
        return effectOf(record)->getParameter(index);
    } catch (...) {
        return 0.0f;
    }
}

}  // namespace

void installEffectThunks(AEffect& record) {
    record.dispatcher = dispatcherThunk;
    record.process = processThunk;
    record.setParameter = setParameterThunk;
    record.getParameter = getParameterThunk;
    record.processReplacing = processReplacingThunk;
    record.processDoubleReplacing = processDoubleReplacingThunk;
}
