// AudioEffectX: the extended half of the interface. It answers the extended
// opcodes 25..79, wraps the host queries of the extended interface, and offers
// speaker-arrangement helpers to effects that answer arrangement opcodes.
// Contracts use AudioEffect's vocabulary ([audio-thread], [dispatcher-thread],
// [any-thread]); a tag at the head of a group holds for the whole group.
#pragma once

#include "framework/audio_effect.h"
#include "vst/vst_opcodes.h"
#include "vst/vst_records.h"

// Records reached through ptr or value of some opcodes. The default operations
// never read them, so they stay incomplete here; an effect that overrides one
// of those operations supplies the record's definition.
struct VstEvents;
struct VstPinProperties;
struct VstParameterProperties;
struct VstAudioFile;
struct VstOfflineTask;
struct VstVariableIo;
struct MidiProgramName;
struct MidiProgramCategory;
struct MidiKeyName;
struct VstPatchChunkInfo;
struct VstFileSelect;
struct VstWindow;

class AudioEffectX : public AudioEffect {
public:
    AudioEffectX(audioMasterCallback callback, VstInt32 numPrograms, VstInt32 numParams)
        : AudioEffect(callback, numPrograms, numParams) {}
    ~AudioEffectX() override = default;

    // [dispatcher-thread] Extended opcodes with a row of their own; every other
    // opcode goes to AudioEffect::dispatcher unchanged.
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override;
    // [dispatcher-thread] Asks the host for events when the effect is a
    // synthesiser or says it can receive MIDI events.
    void resume() override;

    // --- [dispatcher-thread] Queries answered by the extended dispatcher,
    // with their defaults.
    virtual bool canParameterBeAutomated(VstInt32 /*index*/) { return true; }
    virtual bool string2parameter(VstInt32 /*index*/, char* /*text*/) { return false; }
    virtual bool getParameterProperties(VstInt32 /*index*/, VstParameterProperties* /*p*/) {
        return false;
    }
    // Host query: audioMasterBeginEdit / audioMasterEndEdit.
    virtual bool beginEdit(VstInt32 index);
    virtual bool endEdit(VstInt32 index);
    virtual bool getProgramNameIndexed(VstInt32 /*category*/, VstInt32 /*index*/, char* /*text*/) {
        return false;
    }
    virtual bool beginSetProgram() { return false; }
    virtual bool endSetProgram() { return false; }
    virtual VstInt32 beginLoadBank(VstPatchChunkInfo* /*info*/) { return 0; }
    virtual VstInt32 beginLoadProgram(VstPatchChunkInfo* /*info*/) { return 0; }

    // --- [dispatcher-thread] Host queries (at most one host call each), and
    // the dispatcher's pin, arrangement, bypass and MIDI queries.
    virtual bool ioChanged();
    // Takes a positive host answer as the new sample rate; returns the rate.
    virtual double updateSampleRate();
    // Takes a positive host answer (low 32 bits) as the new block size.
    virtual VstInt32 updateBlockSize();
    virtual VstIntPtr getInputLatency();
    virtual VstIntPtr getOutputLatency();

    virtual bool getInputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/) {
        return false;
    }
    virtual bool getOutputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/) {
        return false;
    }
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* /*input*/,
                                       VstSpeakerArrangement* /*output*/) {
        return false;
    }
    // Stores null through each slot that is not null; answers false.
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** input,
                                       VstSpeakerArrangement** output);
    virtual bool setBypass(bool /*onOff*/) { return false; }
    virtual bool setPanLaw(VstInt32 /*type*/, float /*level*/) { return false; }
    virtual bool setProcessPrecision(VstInt32 /*precision*/) { return false; }
    virtual VstInt32 getNumMidiInputChannels() { return 0; }
    virtual VstInt32 getNumMidiOutputChannels() { return 0; }

    // [audio-thread] The host's time record, read at once and not kept; null
    // without a host or when the host has none. The process level and the
    // automation state are asked from the audio thread as well.
    virtual VstTimeInfo* getTimeInfo(VstInt32 filter);
    virtual VstIntPtr getCurrentProcessLevel();
    virtual VstIntPtr getAutomationState();

    // [dispatcher-thread] Events and process control as the dispatcher
    // passes them on (hosts send events from the audio thread too).
    virtual VstInt32 processEvents(VstEvents* /*events*/) { return 0; }
    virtual VstInt32 startProcess() { return 0; }
    virtual VstInt32 stopProcess() { return 0; }
    virtual bool processVariableIo(VstVariableIo* /*varIo*/) { return false; }
    virtual VstInt32 setTotalSampleToProcess(VstInt32 value) { return value; }

    // [dispatcher-thread] Host identity and capabilities.
    virtual bool getHostVendorString(char* text);
    virtual bool getHostProductString(char* text);
    virtual VstIntPtr getHostVendorVersion();
    virtual VstIntPtr hostVendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptrArg,
                                         float floatArg);
    virtual VstInt32 canHostDo(char* text);
    virtual VstIntPtr getHostLanguage();

    virtual void setIsSynth(bool state) { setFlag(effFlagsIsSynth, state); }
    virtual void setNoTail(bool state) { setFlag(effFlagsNoSoundInStop, state); }
    virtual VstInt32 getTailSize() { return 0; }
    virtual void* getDirectory();

    // [dispatcher-thread] Identity texts; a concrete effect overrides them. The defaults write
    // the empty text and answer false.
    virtual bool getEffectName(char* name);
    virtual bool getVendorString(char* text);
    virtual bool getProductString(char* text);
    virtual VstInt32 getVendorVersion() { return 0; }
    virtual VstIntPtr vendorSpecific(VstInt32 /*index*/, VstIntPtr /*value*/, void* /*ptr*/,
                                     float /*opt*/) {
        return 0;
    }
    virtual VstInt32 canDo(char* /*text*/) { return 0; }
    virtual VstInt32 getVstVersion() { return kVstVersion; }
    // Synth category when effFlagsIsSynth is set, unknown otherwise.
    virtual VstInt32 getPlugCategory();

    // [dispatcher-thread] MIDI programs and key names.
    virtual VstInt32 getMidiProgramName(VstInt32 /*channel*/, MidiProgramName* /*name*/) {
        return 0;
    }
    virtual VstInt32 getCurrentMidiProgram(VstInt32 /*channel*/, MidiProgramName* /*name*/) {
        return -1;
    }
    virtual VstInt32 getMidiProgramCategory(VstInt32 /*channel*/,
                                            MidiProgramCategory* /*category*/) {
        return 0;
    }
    virtual bool hasMidiProgramsChanged(VstInt32 /*channel*/) { return false; }
    virtual bool getMidiKeyName(VstInt32 /*channel*/, MidiKeyName* /*keyName*/) { return false; }

    // [dispatcher-thread] Display, window and file-selector requests to the host.
    virtual bool updateDisplay();
    virtual bool sizeWindow(VstInt32 width, VstInt32 height);
    // Null selectors answer false without a host call.
    virtual bool openFileSelector(VstFileSelect* selector);
    virtual bool closeFileSelector(VstFileSelect* selector);
    virtual VstInt32 getNextShellPlugin(char* /*name*/) { return 0; }

    // --- [any-thread] Speaker-arrangement helpers, one thread per slot. A slot is the caller's
    // pointer to an arrangement; an arrangement is exactly 8 + 112 x numChannels bytes.
    virtual bool allocateArrangement(VstSpeakerArrangement** slot, VstInt32 channelCount);
    virtual bool deallocateArrangement(VstSpeakerArrangement** slot);
    virtual bool copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from);
    virtual bool matchArrangement(VstSpeakerArrangement** slot, VstSpeakerArrangement* from);

    // --- [dispatcher-thread] Offline processing.
    virtual bool offlineRead(VstOfflineTask* task, VstInt32 option, bool readSource);
    virtual bool offlineWrite(VstOfflineTask* task, VstInt32 option);
    virtual bool offlineStart(VstAudioFile* files, VstInt32 count, VstInt32 newCount);
    virtual VstInt32 offlineGetCurrentPass();
    virtual VstInt32 offlineGetCurrentMetaPass();
    virtual bool offlineNotify(VstAudioFile* /*files*/, VstInt32 /*count*/, bool /*start*/) {
        return false;
    }
    virtual bool offlinePrepare(VstOfflineTask* /*tasks*/, VstInt32 /*count*/) { return false; }
    virtual bool offlineRun(VstOfflineTask* /*tasks*/, VstInt32 /*count*/) { return false; }
    virtual VstInt32 legacyPassCount() { return 0; }
    virtual VstInt32 legacyMetaPassCount() { return 0; }

    // [dispatcher-thread] Older host queries and their dispatcher rows.
    virtual VstIntPtr wantEvents(VstInt32 filter);
    virtual VstIntPtr tempoAt(VstInt32 position);
    virtual VstIntPtr getNumAutomatableParameters();
    virtual VstIntPtr getParameterQuantization();
    virtual VstInt32 legacyCategoryCount() { return 1; }
    virtual bool legacyCopyProgram(VstInt32 /*destination*/) { return false; }
    virtual bool needIdle();
    virtual AEffect* getPreviousPlug();
    virtual AEffect* getNextPlug();
    virtual void legacyInputConnected(VstInt32 /*index*/, bool /*state*/) {}
    virtual void legacyOutputConnected(VstInt32 /*index*/, bool /*state*/) {}
    virtual VstIntPtr willProcessReplacing();
    virtual void setExtIsAsync(bool state) { setFlag(effFlagsExtIsAsync, state); }
    virtual void setExtHasBuffer(bool state) { setFlag(effFlagsExtHasBuffer, state); }
    virtual VstInt32 legacyPositionReport() { return 0; }
    virtual float* legacyDestinationBuffer() { return nullptr; }
    virtual VstIntPtr setOutputSampleRate(float rate);
    virtual VstSpeakerArrangement* getInputSpeakerArrangement();
    virtual VstSpeakerArrangement* getOutputSpeakerArrangement();
    virtual void* openWindow(VstWindow* window);
    virtual bool closeWindow(VstWindow* window);
    // Stores both values unchecked; no opcode reaches it.
    virtual void setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newSampleRate) {
        blockSize = newBlockSize;
        sampleRate = newSampleRate;
    }
    virtual bool legacyErrorText(char* /*text*/) { return false; }
    virtual void* legacyIcon() { return nullptr; }
    virtual bool legacyViewPosition(VstInt32 /*x*/, VstInt32 /*y*/) { return false; }
    virtual VstInt32 legacyIdle() { return 0; }
    virtual bool legacyKeysRequired() { return false; }
    // Null paths answer false without a host call.
    virtual bool getChunkFile(void* nativePath);
};
