// A small effect for framework tests: it records which operations ran and
// with which arguments, and lets a test choose what some of them answer.
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "floatmode/float_mode_guard.h"
#include "framework/audio_effect_x.h"
#include "host/vst_host.h"

struct RecordedOperation {
    std::string name;
    VstIntPtr first = 0;
    VstIntPtr second = 0;
    const void* pointer = nullptr;
    float real = 0.0f;
};

class RecordingEffect : public AudioEffectX {
public:
    explicit RecordingEffect(audioMasterCallback callback = nullptr, VstInt32 numPrograms = 2,
                             VstInt32 numParams = 3)
        : AudioEffectX(callback, numPrograms, numParams) {}

    ~RecordingEffect() override {
        if (destroyedFlag != nullptr) {
            *destroyedFlag = true;
        }
    }

    std::vector<RecordedOperation> operations;
    bool* destroyedFlag = nullptr;
    bool throwFromSetParameter = false;
    VstInt32 canDoAnswer = 0;
    std::string lastCanDoQuery;

    // Fields and helpers of the base classes, for checks.
    float sampleRateField() const { return sampleRate; }
    VstInt32 blockSizeField() const { return blockSize; }
    VstInt32 currentProgramField() const { return currentProgram; }
    void attachEditor(EffectEditor* newEditor) { editor = newEditor; }
    AEffect& record() { return effectRecord; }

    bool ran(const std::string& name) const {
        for (const auto& operation : operations) {
            if (operation.name == name) {
                return true;
            }
        }
        return false;
    }

    // The latest call of an operation; a test failure when it never ran.
    const RecordedOperation& last(const std::string& name) const {
        for (auto it = operations.rbegin(); it != operations.rend(); ++it) {
            if (it->name == name) {
                return *it;
            }
        }
        ADD_FAILURE() << "operation never ran: " << name;
        static const RecordedOperation none;
        return none;
    }

    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override {
        note("processReplacing", frames, 0, inputs != nullptr ? inputs : outputs);
        floatModeInside = floatmode::readControl();
    }
    void replacingBlockSkipped() override { note("replacingBlockSkipped"); }
    floatmode::Control floatModeInside = 0;
    void processDoubleReplacing(double** inputs, double**, VstInt32 frames) override {
        note("processDoubleReplacing", frames, 0, inputs);
    }
    void processAccumulating(float** inputs, float**, VstInt32 frames) override {
        note("processAccumulating", frames, 0, inputs);
    }
    void open() override { note("open"); }
    void close() override { note("close"); }
    void suspend() override { note("suspend"); }
    void resume() override {
        note("resume");
        AudioEffectX::resume();
    }
    void setParameter(VstInt32 index, float value) override {
        note("setParameter", index, 0, nullptr, value);
        if (throwFromSetParameter) {
            throw std::runtime_error("setParameter failed");
        }
    }
    float getParameter(VstInt32 index) override {
        note("getParameter", index);
        return 0.25f * static_cast<float>(index);
    }
    void setProgram(VstInt32 program) override {
        note("setProgram", program);
        AudioEffectX::setProgram(program);
    }
    void setProgramName(char* name) override { note("setProgramName", 0, 0, name); }
    void getParameterName(VstInt32 index, char* text) override {
        note("getParameterName", index, 0, text);
        AudioEffectX::getParameterName(index, text);
    }
    float getVu() override {
        note("getVu");
        return 1.0f;
    }
    VstInt32 getChunk(void** data, bool isPreset) override {
        note("getChunk", isPreset ? 1 : 0, 0, data);
        return -7;
    }
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override {
        note("setChunk", byteSize, isPreset ? 1 : 0, data);
        return -8;
    }
    VstInt32 canDo(char* text) override {
        note("canDo", 0, 0, text);
        lastCanDoQuery = text;
        return canDoAnswer;
    }
    bool setBypass(bool onOff) override {
        note("setBypass", onOff ? 1 : 0);
        return true;
    }
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override {
        note("vendorSpecific", index, value, ptr, opt);
        return value;
    }
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override {
        note("getProgramNameIndexed", category, index, text);
        return true;
    }
    bool offlineNotify(VstAudioFile* files, VstInt32 count, bool start) override {
        note("offlineNotify", count, start ? 1 : 0, files);
        return true;
    }
    bool setSpeakerArrangement(VstSpeakerArrangement* input,
                               VstSpeakerArrangement* output) override {
        note("setSpeakerArrangement", reinterpret_cast<VstIntPtr>(input), 0, output);
        return true;
    }
    VstInt32 getCurrentMidiProgram(VstInt32 channel, MidiProgramName* name) override {
        note("getCurrentMidiProgram", channel, 0, name);
        return AudioEffectX::getCurrentMidiProgram(channel, name);
    }
    bool setPanLaw(VstInt32 type, float level) override {
        note("setPanLaw", type, 0, nullptr, level);
        return false;
    }
    VstInt32 setTotalSampleToProcess(VstInt32 value) override {
        note("setTotalSampleToProcess", value);
        return AudioEffectX::setTotalSampleToProcess(value);
    }

private:
    void note(const std::string& name, VstIntPtr first = 0, VstIntPtr second = 0,
              const void* pointer = nullptr, float real = 0.0f) {
        operations.push_back({name, first, second, pointer, real});
    }
};

// An editor that records its calls and answers true.
class RecordingEditor : public EffectEditor {
public:
    explicit RecordingEditor(std::vector<std::string>* log) : log_(log) {}
    bool getRect(void* rect) override { return note("getRect", rect); }
    bool open(void* window) override { return note("open", window); }
    void close() override { note("close", nullptr); }
    void idle() override { note("idle", nullptr); }
    bool keyDown(VstKeyCode& key) override {
        lastKey = key;
        return note("keyDown", nullptr);
    }
    bool keyUp(VstKeyCode& key) override {
        lastKey = key;
        return note("keyUp", nullptr);
    }
    bool setKnobMode(VstInt32 mode) override {
        lastKnobMode = mode;
        return note("setKnobMode", nullptr);
    }

    VstKeyCode lastKey{};
    VstInt32 lastKnobMode = 0;
    const void* lastPointer = nullptr;

private:
    bool note(const char* name, const void* pointer) {
        log_->push_back(name);
        lastPointer = pointer;
        return true;
    }
    std::vector<std::string>* log_;
};

// A host callback that records calls and answers with a value chosen per test.
struct RecordingHostCallback {
    static inline std::vector<vsthost::HostCall> calls;
    static inline VstIntPtr answer = 0;

    static void reset(VstIntPtr newAnswer = 0) {
        calls.clear();
        answer = newAnswer;
    }
    static VstIntPtr callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                              void* ptr, float opt) {
        calls.push_back({effect, opcode, index, value, ptr, opt});
        return answer;
    }
};
