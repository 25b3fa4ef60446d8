// A small VST 2.4 host: loads a plug-in library, creates instances through its
// entry point and drives them through their effect records, as a DAW would.
// It knows only the interface records, never the effect framework. Used by
// the host-level tests, the tools and the benchmarks.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "vst/vst_opcodes.h"
#include "vst/vst_records.h"

namespace vsthost {

using EntryPoint = AEffect* (*)(audioMasterCallback);

// One call the plug-in made to the host callback.
struct HostCall {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

// A loaded plug-in file (dlopen, or LoadLibrary on Windows). Closing it
// unloads the code, so it must outlive every instance created from it.
class PluginLibrary {
public:
    // Null with a reason in *error when the file cannot be loaded.
    static std::unique_ptr<PluginLibrary> open(const std::string& path, std::string* error);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // The exported function of that name, or null.
    EntryPoint entryPoint(const char* name = "VSTPluginMain") const;

private:
    explicit PluginLibrary(void* handle) : handle_(handle) {}
    void* handle_;  // the dlopen handle or the HMODULE
};

// The host side of the callback: answers every call the plug-in makes. One
// Host may serve several instances. Real-time clean: answering takes no lock
// and allocates nothing, so the audio thread may call it in every block.
// The answers are set by the thread that drives the instances, between the
// calls it makes (the fixed answers are atomic, so any thread may set them).
class Host {
public:
    Host();
    virtual ~Host() = default;
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The plain function handed to entry points. It finds the Host through the
    // record's `user` field, or, while an instance is being created on this
    // thread, through the host doing the creating.
    static audioMasterCallback callback();

    // Serves a record made without an entry point, such as an effect built in
    // this process: writes this Host into its `user` field, as Instance::create
    // does, so that callback() finds it. The record stays the caller's.
    void attach(AEffect* effect) { effect->user = this; }

    // Runs `make(callback())`, which creates a record, with this Host
    // answering the calls made before the record exists, then attaches the
    // record (when there is one). What Instance::create does with an entry
    // point; in-process effects use it directly.
    template <typename Make>
    AEffect* create(Make&& make) {
        Host* const previous = enterCreation(this);
        AEffect* const effect = make(callback());
        enterCreation(previous);
        if (effect != nullptr) {
            attach(effect);
        }
        return effect;
    }

    // Answers one call; what callback() forwards to. [any thread] Never locks
    // or allocates here; a layer that records overrides it.
    virtual VstIntPtr handle(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                             void* ptr, float opt);

    // Answer to audioMasterVersion (2400 unless changed; 0 refuses instances).
    void setVersionAnswer(VstIntPtr answer);
    // A fixed answer for any other opcode below kAnsweredOpcodes (default 0).
    void setAnswer(VstInt32 opcode, VstIntPtr answer);
    static constexpr VstInt32 kAnsweredOpcodes = 64;
    // The record audioMasterGetTime answers with; null answers when disabled.
    VstTimeInfo& timeInfo() { return timeInfo_; }
    void setTimeInfoAvailable(bool available);
    // Position and tempo, both marked valid.
    void setTransport(double ppqPos, double tempo);

    // Pauses or resumes a recording layer (RecordingHost); a plain Host
    // records nothing.
    void setRecording(bool on) { recording_.store(on, std::memory_order_relaxed); }

protected:
    bool recording() const { return recording_.load(std::memory_order_relaxed); }

private:
    friend class Instance;
    static Host* enterCreation(Host* host);
    std::array<std::atomic<VstIntPtr>, kAnsweredOpcodes> answers_{};
    std::atomic<bool> recording_{true};
    std::atomic<bool> timeInfoAvailable_{true};
    VstTimeInfo timeInfo_{};
};

// The recording layer: a Host that also keeps every call it answers, for
// tests that look at what the plug-in asked. Recording locks and allocates,
// so it belongs outside real-time paths (turn it off with setRecording).
class RecordingHost : public Host {
public:
    VstIntPtr handle(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                     float opt) override;
    std::vector<HostCall> calls() const;
    std::size_t countCalls(VstInt32 opcode) const;
    void clearCalls();

private:
    mutable std::mutex mutex_;
    std::vector<HostCall> calls_;
};

// The call an Instance is making into a plug-in on this thread, kept so that
// a crash handler can name it. Plain stores, no allocation: cheap enough for
// every block. `what` is a static text: "dispatcher", "processReplacing", ...
struct CallInProgress {
    const char* what = nullptr;  // null between calls
    VstInt32 opcode = 0;         // dispatcher: opcode; setParameter/getParameter: index
    VstInt32 index = 0;
    VstIntPtr value = 0;  // dispatcher: value; process calls: frames
    const void* ptr = nullptr;
    float opt = 0.0f;  // dispatcher: opt; setParameter: value
};
// This thread's call in progress (thread-local).
CallInProgress& callInProgress();

// One effect instance, driven through its record. Sends effClose when
// destroyed unless closed already.
class Instance {
public:
    // Null when the entry point answers null (for example a refused handshake).
    static std::unique_ptr<Instance> create(EntryPoint entry, Host& host);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    AEffect* record() const { return effect_; }
    // The record's bytes as the entry point returned them, before the host
    // wrote its own pointer into `user`.
    const std::array<unsigned char, sizeof(AEffect)>& initialRecordBytes() const {
        return initialBytes_;
    }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);
    void processReplacing(float** inputs, float** outputs, VstInt32 frames);
    void processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames);
    void processAccumulating(float** inputs, float** outputs, VstInt32 frames);

    // Text opcodes into a zeroed buffer of `capacity` bytes.
    std::string text(VstInt32 opcode, VstInt32 index = 0, std::size_t capacity = 256);

    // Sends effClose; returns its answer. The record is invalid afterwards.
    VstIntPtr close();
    bool isOpen() const { return effect_ != nullptr; }

private:
    explicit Instance(AEffect* effect);
    AEffect* effect_;
    std::array<unsigned char, sizeof(AEffect)> initialBytes_{};
};

// Two channels of planar float audio with the pointer arrays a host passes.
class StereoBuffer {
public:
    explicit StereoBuffer(std::size_t frames);
    float* channel(std::size_t index) { return data_[index].data(); }
    float** channels() { return pointers_.data(); }
    std::size_t frames() const { return data_[0].size(); }

private:
    std::array<std::vector<float>, 2> data_;
    std::array<float*, 2> pointers_{};
};

}  // namespace vsthost
