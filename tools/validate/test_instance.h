// The plug-in file and the instances the checks drive, through the host
// library: each instance has a Host of its own (its time record, rate and
// block size answers), whose answers the realtime counters do not count.
#pragma once

#include <memory>
#include <string>

#include "host/vst_host.h"
#include "vst/vst_opcodes.h"
#include "vst/vst_records.h"

namespace validate {

// The plug-in file and its entry point.
class LoadedPlugin {
public:
    static std::unique_ptr<LoadedPlugin> load(const std::string& path, std::string* error);
    vsthost::EntryPoint entry() const { return entry_; }

private:
    std::unique_ptr<vsthost::PluginLibrary> library_;
    vsthost::EntryPoint entry_ = nullptr;
};

// The host library's Host with the realtime counters paused while it
// answers, so that only the plug-in's own calls are counted.
class ValidatorHost : public vsthost::Host {
public:
    VstIntPtr handle(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                     float opt) override;
};

// One effect instance and the host side it talks to.
class TestInstance {
public:
    // Null when the entry point answers null or a record without the magic.
    static std::unique_ptr<TestInstance> create(vsthost::EntryPoint entry);
    ~TestInstance();
    TestInstance(const TestInstance&) = delete;
    TestInstance& operator=(const TestInstance&) = delete;

    AEffect* record() const { return instance_->record(); }
    int inputs() const { return record()->numInputs; }
    int outputs() const { return record()->numOutputs; }
    int params() const { return record()->numParams; }
    int programs() const { return record()->numPrograms; }
    bool hasEditor() const;

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void open() { dispatch(effOpen); }
    // The rate is also what the host answers and puts into its time record
    // when it is one a host could run at.
    void setSampleRate(float rate);
    void setBlockSize(VstInt32 frames);
    void resume() { dispatch(effMainsChanged, 0, 1); }
    void suspend() { dispatch(effMainsChanged, 0, 0); }
    // effOpen, rate, block size, resume: what every host does first.
    void start(float rate, VstInt32 maxFrames);
    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);
    // processReplacing; the allocation and call counters see only this call.
    void process(float** inputs, float** outputs, VstInt32 frames);
    void close();

    VstTimeInfo& time() { return host_.timeInfo(); }
    void setTimeAvailable(bool available) { host_.setTimeInfoAvailable(available); }
    double hostRate() const { return hostRate_; }

private:
    TestInstance() = default;
    ValidatorHost host_;
    std::unique_ptr<vsthost::Instance> instance_;
    double hostRate_ = 44100.0;
};

}  // namespace validate
