#include "host/vst_host.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstring>
#include <mutex>

namespace vsthost {

namespace {

// The Host that is creating an instance on this thread: the handshake and any
// call made before `user` is set arrive here.
thread_local Host* creatingHost = nullptr;

VstIntPtr dispatchToHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                         void* ptr, float opt) {
    Host* host = nullptr;
    if (effect != nullptr && effect->user != nullptr) {
        host = static_cast<Host*>(effect->user);
    } else {
        host = creatingHost;
    }
    return host != nullptr ? host->handle(effect, opcode, index, value, ptr, opt) : 0;
}

}  // namespace

#ifdef _WIN32

namespace {

// The system's message for a Win32 error code, without its line break.
std::string systemMessage(DWORD code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message(text != nullptr ? text : "", length);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.pop_back();
    }
    return message;
}

// C:\..., C:/... or \\server\...: a path LoadLibraryEx may search beside.
bool isAbsolute(const std::wstring& path) {
    const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    return (path.size() >= 3 && path[1] == L':' && separator(path[2])) ||
           (path.size() >= 2 && separator(path[0]) && separator(path[1]));
}

}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::open(const std::string& path, std::string* error) {
    // Paths are UTF-8, as everywhere else in the host.
    HMODULE module = nullptr;
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                                           static_cast<int>(path.size()), nullptr, 0);
    if (length > 0) {
        std::wstring widePath(static_cast<std::size_t>(length), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                            static_cast<int>(path.size()), widePath.data(), length);
        // From a full path, the plug-in's own DLLs are found beside it; a bare
        // name is searched for as usual, starting beside the program.
        module = LoadLibraryExW(widePath.c_str(), nullptr,
                                isAbsolute(widePath) ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
    }
    if (module == nullptr) {
        if (error != nullptr) {
            const DWORD code = GetLastError();
            *error = path + ": " + systemMessage(code) + " (error " + std::to_string(code) + ")";
        }
        return nullptr;
    }
    return std::unique_ptr<PluginLibrary>(new PluginLibrary(module));
}

PluginLibrary::~PluginLibrary() { FreeLibrary(static_cast<HMODULE>(handle_)); }

EntryPoint PluginLibrary::entryPoint(const char* name) const {
    // FARPROC to the real type through the generic function pointer type.
    const FARPROC address = GetProcAddress(static_cast<HMODULE>(handle_), name);
    return reinterpret_cast<EntryPoint>(reinterpret_cast<void (*)()>(address));
}

#else

std::unique_ptr<PluginLibrary> PluginLibrary::open(const std::string& path, std::string* error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        if (error != nullptr) {
            const char* reason = dlerror();
            *error = reason != nullptr ? reason : "dlopen failed";
        }
        return nullptr;
    }
    return std::unique_ptr<PluginLibrary>(new PluginLibrary(handle));
}

PluginLibrary::~PluginLibrary() { dlclose(handle_); }

EntryPoint PluginLibrary::entryPoint(const char* name) const {
    return reinterpret_cast<EntryPoint>(dlsym(handle_, name));
}

#endif

Host::Host() {
    answers_[audioMasterVersion].store(kVstVersion, std::memory_order_relaxed);
    timeInfo_.sampleRate = 44100.0;
    timeInfo_.tempo = 120.0;
    timeInfo_.timeSigNumerator = 4;
    timeInfo_.timeSigDenominator = 4;
    timeInfo_.flags = kVstPpqPosValid | kVstTempoValid;
}

audioMasterCallback Host::callback() { return dispatchToHost; }

Host* Host::enterCreation(Host* host) {
    Host* const previous = creatingHost;
    creatingHost = host;
    return previous;
}

VstIntPtr Host::handle(AEffect* /*effect*/, VstInt32 opcode, VstInt32 /*index*/,
                       VstIntPtr /*value*/, void* /*ptr*/, float /*opt*/) {
    if (opcode == audioMasterGetTime) {
        return timeInfoAvailable_.load(std::memory_order_relaxed)
                   ? reinterpret_cast<VstIntPtr>(&timeInfo_)
                   : 0;
    }
    if (opcode < 0 || opcode >= kAnsweredOpcodes) {
        return 0;
    }
    return answers_[static_cast<std::size_t>(opcode)].load(std::memory_order_relaxed);
}

void Host::setVersionAnswer(VstIntPtr answer) { setAnswer(audioMasterVersion, answer); }

void Host::setAnswer(VstInt32 opcode, VstIntPtr answer) {
    if (opcode >= 0 && opcode < kAnsweredOpcodes && opcode != audioMasterGetTime) {
        answers_[static_cast<std::size_t>(opcode)].store(answer, std::memory_order_relaxed);
    }
}

void Host::setTimeInfoAvailable(bool available) {
    timeInfoAvailable_.store(available, std::memory_order_relaxed);
}

void Host::setTransport(double ppqPos, double tempo) {
    timeInfo_.ppqPos = ppqPos;
    timeInfo_.tempo = tempo;
    timeInfo_.flags |= kVstPpqPosValid | kVstTempoValid;
}

VstIntPtr RecordingHost::handle(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                void* ptr, float opt) {
    if (recording()) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(HostCall{effect, opcode, index, value, ptr, opt});
    }
    return Host::handle(effect, opcode, index, value, ptr, opt);
}

std::vector<HostCall> RecordingHost::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::size_t RecordingHost::countCalls(VstInt32 opcode) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t count = 0;
    for (const HostCall& call : calls_) {
        count += call.opcode == opcode ? 1 : 0;
    }
    return count;
}

void RecordingHost::clearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}

CallInProgress& callInProgress() {
    thread_local CallInProgress call;
    return call;
}

namespace {

// Marks a call into the plug-in as in progress on this thread for its scope.
class CallScope {
public:
    CallScope(const char* what, VstInt32 opcode, VstInt32 index, VstIntPtr value, const void* ptr,
              float opt)
        : call_(callInProgress()), saved_(call_) {
        call_ = CallInProgress{what, opcode, index, value, ptr, opt};
    }
    ~CallScope() { call_ = saved_; }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    CallInProgress& call_;
    CallInProgress saved_;
};

}  // namespace

std::unique_ptr<Instance> Instance::create(EntryPoint entry, Host& host) {
    if (entry == nullptr) {
        return nullptr;
    }
    AEffect* effect = nullptr;
    {
        const CallScope scope("the entry point", 0, 0, 0, nullptr, 0.0f);
        Host* const previous = Host::enterCreation(&host);
        effect = entry(Host::callback());
        Host::enterCreation(previous);
    }
    if (effect == nullptr) {
        return nullptr;
    }
    // The record's bytes are kept before the host writes into `user`.
    std::unique_ptr<Instance> instance(new Instance(effect));
    host.attach(effect);
    return instance;
}

Instance::Instance(AEffect* effect) : effect_(effect) {
    std::memcpy(initialBytes_.data(), effect, sizeof(AEffect));
}

Instance::~Instance() {
    if (effect_ != nullptr) {
        close();
    }
}

VstIntPtr Instance::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                             float opt) {
    const CallScope scope("dispatcher", opcode, index, value, ptr, opt);
    const VstIntPtr answer = effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    if (opcode == effClose) {
        effect_ = nullptr;
    }
    return answer;
}

void Instance::setParameter(VstInt32 index, float value) {
    const CallScope scope("setParameter", 0, index, 0, nullptr, value);
    effect_->setParameter(effect_, index, value);
}

float Instance::getParameter(VstInt32 index) {
    const CallScope scope("getParameter", 0, index, 0, nullptr, 0.0f);
    return effect_->getParameter(effect_, index);
}

void Instance::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    const CallScope scope("processReplacing", 0, 0, frames, inputs, 0.0f);
    effect_->processReplacing(effect_, inputs, outputs, frames);
}

void Instance::processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames) {
    const CallScope scope("processDoubleReplacing", 0, 0, frames, inputs, 0.0f);
    effect_->processDoubleReplacing(effect_, inputs, outputs, frames);
}

void Instance::processAccumulating(float** inputs, float** outputs, VstInt32 frames) {
    const CallScope scope("process (accumulating)", 0, 0, frames, inputs, 0.0f);
    effect_->process(effect_, inputs, outputs, frames);
}

std::string Instance::text(VstInt32 opcode, VstInt32 index, std::size_t capacity) {
    std::vector<char> buffer(capacity, '\0');
    dispatch(opcode, index, 0, buffer.data());
    return std::string(buffer.data(), strnlen(buffer.data(), capacity));
}

VstIntPtr Instance::close() { return dispatch(effClose); }

StereoBuffer::StereoBuffer(std::size_t frames) {
    for (std::size_t channel = 0; channel < data_.size(); ++channel) {
        data_[channel].assign(frames, 0.0f);
        pointers_[channel] = data_[channel].data();
    }
}

}  // namespace vsthost
