#include "test_instance.h"

#include <cmath>

#include "validate/realtime_counters.h"

namespace validate {

std::unique_ptr<LoadedPlugin> LoadedPlugin::load(const std::string& path, std::string* error) {
    auto plugin = std::unique_ptr<LoadedPlugin>(new LoadedPlugin);
    plugin->library_ = vsthost::PluginLibrary::open(path, error);
    if (plugin->library_ == nullptr) {
        return nullptr;
    }
    plugin->entry_ = plugin->library_->entryPoint("VSTPluginMain");
    if (plugin->entry_ == nullptr) {
        plugin->entry_ = plugin->library_->entryPoint("main");
    }
    if (plugin->entry_ == nullptr) {
        *error = path + ": exports neither VSTPluginMain nor main";
        return nullptr;
    }
    return plugin;
}

VstIntPtr ValidatorHost::handle(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                void* ptr, float opt) {
    rt::pauseInCallback();
    const VstIntPtr answer = vsthost::Host::handle(effect, opcode, index, value, ptr, opt);
    rt::resumeAfterCallback();
    return answer;
}

std::unique_ptr<TestInstance> TestInstance::create(vsthost::EntryPoint entry) {
    auto instance = std::unique_ptr<TestInstance>(new TestInstance);
    instance->host_.setAnswer(audioMasterGetSampleRate, 44100);
    instance->host_.setAnswer(audioMasterGetBlockSize, 1024);
    instance->instance_ = vsthost::Instance::create(entry, instance->host_);
    if (instance->instance_ == nullptr || instance->instance_->record()->magic != kEffectMagic) {
        return nullptr;
    }
    return instance;
}

TestInstance::~TestInstance() { close(); }

bool TestInstance::hasEditor() const { return (record()->flags & effFlagsHasEditor) != 0; }

VstIntPtr TestInstance::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt) {
    return instance_->isOpen() ? instance_->dispatch(opcode, index, value, ptr, opt) : 0;
}

void TestInstance::setSampleRate(float rate) {
    if (std::isfinite(rate) && rate >= 1.0f && rate < 1e7f) {
        hostRate_ = static_cast<double>(rate);
        host_.timeInfo().sampleRate = hostRate_;
        host_.setAnswer(audioMasterGetSampleRate, static_cast<VstIntPtr>(hostRate_));
    }
    dispatch(effSetSampleRate, 0, 0, nullptr, rate);
}

void TestInstance::setBlockSize(VstInt32 frames) {
    host_.setAnswer(audioMasterGetBlockSize, frames);
    dispatch(effSetBlockSize, 0, frames);
}

void TestInstance::start(float rate, VstInt32 maxFrames) {
    open();
    setSampleRate(rate);
    setBlockSize(maxFrames);
    resume();
}

void TestInstance::setParameter(VstInt32 index, float value) {
    instance_->setParameter(index, value);
}

float TestInstance::getParameter(VstInt32 index) { return instance_->getParameter(index); }

void TestInstance::process(float** inputs, float** outputs, VstInt32 frames) {
    rt::enterAudioCall();
    instance_->processReplacing(inputs, outputs, frames);
    rt::leaveAudioCall();
}

void TestInstance::close() {
    if (instance_ != nullptr && instance_->isOpen()) {
        instance_->close();
    }
}

}  // namespace validate
