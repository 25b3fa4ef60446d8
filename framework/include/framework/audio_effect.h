// AudioEffect: the root of every effect, its editor interface and the effect
// record a host receives. Every operation is virtual and is reached through
// the virtual table from the dispatcher, the record's thunks and other
// operations, so an override in a derived class applies on every path.
//
// Contracts use one vocabulary: [audio-thread] is the host's processing
// thread, [dispatcher-thread] the thread of the host's dispatcher calls,
// [any-thread] either of them or another. The framework takes no lock; an
// operation tagged [any-thread] may run while processing runs.
#pragma once

#include "framework/text_copy.h"
#include "vst/vst_opcodes.h"
#include "vst/vst_records.h"

// Interface of an optional editor owned by an effect. No editor exists in
// this system; the interface fixes what the dispatcher calls.
class EffectEditor {
public:
    virtual ~EffectEditor() = default;
    virtual bool getRect(void* /*rect*/) { return false; }
    virtual bool open(void* /*parentWindow*/) { return false; }
    virtual void close() {}
    virtual void idle() {}
    virtual bool keyDown(VstKeyCode& /*keyCode*/) { return false; }
    virtual bool keyUp(VstKeyCode& /*keyCode*/) { return false; }
    virtual bool setKnobMode(VstInt32 /*mode*/) { return false; }
};

class AudioEffect {
public:
    // [dispatcher-thread] Fills the embedded record; makes no host call and
    // allocates nothing.
    AudioEffect(audioMasterCallback callback, VstInt32 numPrograms, VstInt32 numParams);
    // [dispatcher-thread] Releases an attached editor. Reached through effClose.
    virtual ~AudioEffect();

    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // [dispatcher-thread] Core opcodes 0..24; every other opcode answers 0.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt);

    // [dispatcher-thread] Lifecycle. Processing does not run between suspend
    // and resume in a well-behaved host; nothing here relies on it.
    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}

    // [dispatcher-thread] Configuration; stored unchecked.
    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual void setBlockSize(VstInt32 frames) { blockSize = frames; }

    // [audio-thread] Replaces outputs from inputs. Every concrete effect
    // provides it. Reached through processReplacingAtBoundary, so it may rely
    // on sampleFrames > 0, on numInputs input and numOutputs output channel
    // pointers that are not null, and on flush-to-zero and
    // denormals-are-zero being set.
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    // [audio-thread] Double-precision processing, with the same preconditions;
    // does nothing by default.
    virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/,
                                        VstInt32 /*sampleFrames*/) {}

    // [any-thread] Parameters.
    virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}
    virtual float getParameter(VstInt32 /*index*/) { return 0.0f; }
    // Runs setParameter, then tells the host (audioMasterAutomate).
    virtual void setParameterAutomated(VstInt32 index, float value);

    // [dispatcher-thread] Programs.
    virtual VstInt32 getProgram() { return currentProgram; }
    virtual void setProgram(VstInt32 program) { currentProgram = program; }
    virtual void setProgramName(char* /*name*/) {}
    virtual void getProgramName(char* name) { writeEmptyText(name); }

    // [dispatcher-thread] Parameter texts: empty by default.
    virtual void getParameterLabel(VstInt32 /*index*/, char* label) { writeEmptyText(label); }
    virtual void getParameterDisplay(VstInt32 /*index*/, char* text) { writeEmptyText(text); }
    virtual void getParameterName(VstInt32 /*index*/, char* text) { writeEmptyText(text); }

    // [dispatcher-thread] Chunks: none by default; the data place is left untouched.
    virtual VstInt32 getChunk(void** /*data*/, bool /*isPreset*/) { return 0; }
    virtual VstInt32 setChunk(void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/) {
        return 0;
    }

    // [dispatcher-thread] Record setters, for the effect's own construction code.
    virtual void setUniqueID(VstInt32 id) { effectRecord.uniqueID = id; }
    virtual void setNumInputs(VstInt32 count) { effectRecord.numInputs = count; }
    virtual void setNumOutputs(VstInt32 count) { effectRecord.numOutputs = count; }
    virtual void canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
    virtual void canDoubleReplacing(bool state) { setFlag(effFlagsCanDoubleReplacing, state); }
    virtual void programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
    virtual void setInitialDelay(VstInt32 frames) { effectRecord.initialDelay = frames; }

    // [any-thread] Plain reads.
    virtual EffectEditor* getEditor() { return editor; }
    virtual AEffect* getEffectRecord() { return &effectRecord; }
    virtual float getSampleRate() { return sampleRate; }
    virtual VstInt32 getBlockSize() { return blockSize; }

    // [dispatcher-thread] Host queries; without a host callback each gives its
    // no-host result.
    virtual VstInt32 getMasterVersion();
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();

    // [any-thread] Value-to-text conversions into a caller's buffer of
    // maxLen + 1 bytes.
    virtual void decibelsToText(float value, char* text, VstInt32 maxLen);
    virtual void hertzToText(float samples, char* text, VstInt32 maxLen);
    virtual void millisecondsToText(float samples, char* text, VstInt32 maxLen);
    virtual void floatToText(float value, char* text, VstInt32 maxLen);
    virtual void intToText(VstInt32 value, char* text, VstInt32 maxLen);

    // [audio-thread] Old accumulating entry, with processReplacing's
    // preconditions; does nothing.
    virtual void processAccumulating(float** /*inputs*/, float** /*outputs*/,
                                     VstInt32 /*sampleFrames*/) {}
    // [audio-thread] A replacing call the boundary did not pass on: no frames,
    // or a channel array or channel pointer missing. Does nothing by default;
    // an effect that asks the host for its time once per block does it here
    // too.
    virtual void replacingBlockSkipped() {}

    // [dispatcher-thread] Meters and pins.
    virtual float getVu() { return 0.0f; }
    virtual void setHasVu(bool state) { setFlag(effFlagsHasVu, state); }
    virtual void setHasClip(bool state) { setFlag(effFlagsHasClip, state); }
    virtual void setCanMono(bool state) { setFlag(effFlagsCanMono, state); }
    virtual void setRealQualities(VstInt32 value) { effectRecord.realQualities = value; }
    virtual void setOffQualities(VstInt32 value) { effectRecord.offQualities = value; }
    virtual bool isInputConnected(VstInt32 input);
    virtual bool isOutputConnected(VstInt32 output);

    // [audio-thread] The processing boundary the record's thunks call: sets
    // flush-to-zero and denormals-are-zero for the call and restores the
    // caller's floating-point mode after it, and passes a block on only with
    // frames and every channel pointer present (replacingBlockSkipped
    // otherwise). Not virtual: every effect gets the same boundary.
    void processReplacingAtBoundary(float** inputs, float** outputs, VstInt32 sampleFrames);
    void processDoubleReplacingAtBoundary(double** inputs, double** outputs, VstInt32 sampleFrames);
    void processAccumulatingAtBoundary(float** inputs, float** outputs, VstInt32 sampleFrames);

protected:
    // Calls the host with this effect's record; 0 when there is no host callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    bool hasHost() const { return hostCallback != nullptr; }
    // Sets or clears exactly one bit of the record's flags; the host is not told.
    void setFlag(VstInt32 bit, bool state);

    audioMasterCallback hostCallback;
    EffectEditor* editor;
    float sampleRate;
    VstInt32 blockSize;
    VstInt32 programCount;
    VstInt32 parameterCount;
    VstInt32 currentProgram;
    AEffect effectRecord;
};
