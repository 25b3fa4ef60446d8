#include "tools/validate/check_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>

#include "tools/validate/platform.h"
#include "tools/validate/realtime_counters.h"

namespace validate {

// ---- Rng

std::uint64_t Rng::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Rng::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

double Rng::uniform(double low, double high) { return low + (high - low) * uniform(); }

std::int64_t Rng::between(std::int64_t low, std::int64_t high) {
    const auto span = static_cast<std::uint64_t>(high - low) + 1;
    return low + static_cast<std::int64_t>(span == 0 ? next() : next() % span);
}

// ---- Context

namespace {

std::uint64_t nameHash(const std::string& name) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const char c : name) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
    }
    return hash;
}

constexpr std::size_t kProblemsSent = 5;

}  // namespace

Context::Context(const Options& options, const std::string& checkName, int reportFd)
    : options_(options), rng_(options.seed ^ nameHash(checkName)), fd_(reportFd) {}

int Context::scaled(int atOne, int atTen) const {
    const int level = std::clamp(options_.level, 1, 10);
    return atOne + (atTen - atOne) * (level - 1) / 9;
}

void Context::send(char kind, const std::string& text) {
    if (fd_ < 0) {
        return;
    }
    std::string line(1, kind);
    line += '\t';
    for (const char c : text) {
        line += (c == '\n' || c == '\t') ? ' ' : c;
    }
    // One write per line: lines below the pipe's atomic size arrive whole.
    writeReport(fd_, line.substr(0, 1000) + '\n');
}

void Context::step(const std::string& what) { send('S', what); }

void Context::problem(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++problems_;
    if (problems_ <= kProblemsSent) {
        send('P', what);
    } else {
        send('N', std::to_string(problems_));
    }
}

void Context::tried(const std::string& what) { send('T', what); }
void Context::skip(const std::string& why) { send('K', why); }

std::size_t Context::problemCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return problems_;
}

// ---- LoadedPlugin

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

// ---- TestInstance

namespace {

thread_local TestInstance* creating = nullptr;

VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 /*index*/, VstIntPtr /*value*/,
                       void* /*ptr*/, float /*opt*/) {
    TestInstance* instance = creating;
    if (effect != nullptr && effect->user != nullptr) {
        instance = static_cast<TestInstance*>(effect->user);
    }
    if (opcode == audioMasterVersion) {
        return kVstVersion;
    }
    return instance != nullptr ? instance->answer(opcode) : 0;
}

}  // namespace

std::unique_ptr<TestInstance> TestInstance::create(vsthost::EntryPoint entry) {
    auto instance = std::unique_ptr<TestInstance>(new TestInstance(nullptr));
    instance->time.sampleRate = 44100.0;
    instance->time.tempo = 120.0;
    instance->time.timeSigNumerator = 4;
    instance->time.timeSigDenominator = 4;
    instance->time.flags = kVstPpqPosValid | kVstTempoValid;
    creating = instance.get();
    AEffect* effect = entry(hostCallback);
    creating = nullptr;
    if (effect == nullptr || effect->magic != kEffectMagic) {
        return nullptr;
    }
    instance->effect_ = effect;
    effect->user = instance.get();
    return instance;
}

TestInstance::~TestInstance() { close(); }

VstIntPtr TestInstance::answer(VstInt32 opcode) {
    rt::pauseInCallback();
    VstIntPtr result = 0;
    switch (opcode) {
    case audioMasterGetTime:
        result = timeAvailable ? reinterpret_cast<VstIntPtr>(&time) : 0;
        break;
    case audioMasterGetSampleRate:
        result = static_cast<VstIntPtr>(hostRate);
        break;
    case audioMasterGetBlockSize:
        result = hostBlockSize;
        break;
    default:
        break;
    }
    rt::resumeAfterCallback();
    return result;
}

VstIntPtr TestInstance::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt) {
    const VstIntPtr result = effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    if (opcode == effClose) {
        effect_ = nullptr;
    }
    return result;
}

void TestInstance::setSampleRate(float rate) {
    if (std::isfinite(rate) && rate > 0.0f && rate < 1e9f) {
        hostRate = static_cast<double>(rate);
        time.sampleRate = hostRate;
    }
    dispatch(effSetSampleRate, 0, 0, nullptr, rate);
}

void TestInstance::setBlockSize(VstInt32 frames) {
    hostBlockSize = frames;
    dispatch(effSetBlockSize, 0, frames);
}

void TestInstance::start(float rate, VstInt32 maxFrames) {
    open();
    setSampleRate(rate);
    setBlockSize(maxFrames);
    resume();
}

void TestInstance::setParameter(VstInt32 index, float value) {
    effect_->setParameter(effect_, index, value);
}

float TestInstance::getParameter(VstInt32 index) { return effect_->getParameter(effect_, index); }

void TestInstance::process(float** inputs, float** outputs, VstInt32 frames) {
    rt::enterAudioCall();
    effect_->processReplacing(effect_, inputs, outputs, frames);
    rt::leaveAudioCall();
}

void TestInstance::close() {
    if (effect_ != nullptr) {
        dispatch(effClose);
    }
}

// ---- AudioBuffers

AudioBuffers::AudioBuffers(int inputs, int outputs, std::size_t frames) : frames_(frames) {
    in_.assign(static_cast<std::size_t>(std::max(inputs, 0)), std::vector<float>(frames, 0.0f));
    out_.assign(static_cast<std::size_t>(std::max(outputs, 0)), std::vector<float>(frames, 0.0f));
    for (auto& channel : in_) {
        inPointers_.push_back(channel.data());
    }
    for (auto& channel : out_) {
        outPointers_.push_back(channel.data());
    }
    // Arrays of at least two pointers: a plug-in reading one channel too far
    // finds a null pointer rather than whatever follows.
    while (inPointers_.size() < 2) {
        inPointers_.push_back(nullptr);
    }
    while (outPointers_.size() < 2) {
        outPointers_.push_back(nullptr);
    }
}

void AudioBuffers::fillNoise(Rng& rng) {
    for (auto& channel : in_) {
        const std::size_t silenceFrom =
            static_cast<std::size_t>(rng.between(0, static_cast<std::int64_t>(frames_)));
        const std::size_t silenceLength = static_cast<std::size_t>(rng.between(0, 64));
        for (std::size_t i = 0; i < frames_; ++i) {
            const bool silent = i >= silenceFrom && i < silenceFrom + silenceLength;
            channel[i] = silent ? 0.0f : static_cast<float>(rng.uniform(-1.0, 1.0));
        }
    }
}

void AudioBuffers::fillOutputs(float value) {
    for (auto& channel : out_) {
        std::fill(channel.begin(), channel.end(), value);
    }
}

// ---- GuardedBuffer

GuardedBuffer::GuardedBuffer(std::size_t capacity) : capacity_(capacity) {
    const std::size_t page = pageSize();
    const std::size_t usable = (capacity + 2 * kCanaryBytes + page - 1) / page * page;
    mapped_ = usable + page;
    void* region = mapPages(mapped_);
    if (region == nullptr) {
        std::abort();
    }
    base_ = static_cast<unsigned char*>(region);
    blockPage(base_ + usable);
    data_ = base_ + usable - kCanaryBytes - capacity;
    resetCanaries();
    fill(0);
}

GuardedBuffer::~GuardedBuffer() { unmapPages(base_, mapped_); }

void GuardedBuffer::fill(unsigned char value) { std::memset(data_, value, capacity_); }

namespace {
constexpr unsigned char kCanary = 0xCD;
}

void GuardedBuffer::resetCanaries() {
    std::memset(data_ - kCanaryBytes, kCanary, kCanaryBytes);
    std::memset(data_ + capacity_, kCanary, kCanaryBytes);
}

bool GuardedBuffer::canariesIntact(std::ptrdiff_t* firstDamaged) const {
    for (std::size_t i = 0; i < kCanaryBytes; ++i) {
        if (data_[-static_cast<std::ptrdiff_t>(kCanaryBytes - i)] != kCanary) {
            *firstDamaged = -static_cast<std::ptrdiff_t>(kCanaryBytes - i);
            return false;
        }
    }
    for (std::size_t i = 0; i < kCanaryBytes; ++i) {
        if (data_[capacity_ + i] != kCanary) {
            *firstDamaged = static_cast<std::ptrdiff_t>(capacity_ + i);
            return false;
        }
    }
    return true;
}

std::string judgeText(const TextProbe& probe, std::size_t limit) {
    if (probe.pastBuffer) {
        return "wrote past the end of a " + std::to_string(kHostTextBuffer) + "-byte buffer";
    }
    if (!probe.wroteAnything) {
        return "";
    }
    if (probe.bytesWritten > limit + 1) {
        return "wrote " + std::to_string(probe.bytesWritten) + " bytes, limit " +
               std::to_string(limit) + " characters and the zero byte";
    }
    if (!probe.terminated) {
        return "text not terminated within " + std::to_string(limit + 1) + " bytes";
    }
    return "";
}

// ---- samples

bool isSubnormal(float value) { return std::fpclassify(value) == FP_SUBNORMAL; }

std::string describeFloat(float value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string describeDouble(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string auditBlock(AudioBuffers& buffers, std::size_t frames, double maxGain, float** inputs) {
    float** in = inputs != nullptr ? inputs : buffers.in();
    for (int c = 0; c < buffers.outputs(); ++c) {
        const float* out = buffers.out()[c];
        const float* source = c < buffers.inputs() ? in[c] : nullptr;
        for (std::size_t i = 0; i < frames; ++i) {
            const float y = out[i];
            const bool finite = std::isfinite(y);
            const bool subnormal = isSubnormal(y);
            const bool aboveBound = maxGain > 0.0 && source != nullptr &&
                                    std::fabs(static_cast<double>(y)) >
                                        maxGain * std::fabs(static_cast<double>(source[i]));
            if (finite && !subnormal && !aboveBound) {
                continue;
            }
            const std::string where = "output " + std::to_string(c) + " frame " + std::to_string(i);
            if (!finite) {
                return where + " is " + describeFloat(y) + " for finite input";
            }
            if (subnormal) {
                return where + " is subnormal (" + describeFloat(y) + ")";
            }
            return where + " is " + describeFloat(y) + ", above " + describeDouble(maxGain) +
                   " x input " + describeFloat(source[i]);
        }
    }
    return "";
}

std::vector<float> edgeFloats() {
    constexpr float inf = std::numeric_limits<float>::infinity();
    return {0.0f,
            -0.0f,
            1.0f,
            0.5f,
            -1.0f,
            2.0f,
            1e30f,
            -1e30f,
            std::numeric_limits<float>::max(),
            std::numeric_limits<float>::lowest(),
            std::numeric_limits<float>::quiet_NaN(),
            -std::numeric_limits<float>::quiet_NaN(),
            inf,
            -inf,
            std::numeric_limits<float>::denorm_min(),
            -std::numeric_limits<float>::denorm_min(),
            std::numeric_limits<float>::min() / 2.0f,
            std::nextafter(1.0f, 2.0f),
            std::nextafter(0.0f, -1.0f),
            std::nextafter(1.0f, 0.0f)};
}

bool underSanitizer() { return !rt::available(); }

bool underValgrind() {
    // Valgrind preloads its own libraries into the program it runs.
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "vgpreload") != nullptr;
}

bool allocatorKeepsFreedMemory() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#else
    return underValgrind();
#endif
}

}  // namespace validate

namespace validate {

namespace {

constexpr VstInt32 kBothValid = kVstPpqPosValid | kVstTempoValid;

void setTime(TestInstance& instance, VstInt32 flags, double ppq, double tempo) {
    instance.timeAvailable = true;
    instance.time.flags = flags;
    instance.time.ppqPos = ppq;
    instance.time.tempo = tempo;
}

double beatsAfter(const TestInstance& instance, double samples, double tempo) {
    return samples / instance.hostRate * tempo / 60.0;
}

}  // namespace

const std::vector<TimeVariant>& timeVariants() {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    static const std::vector<TimeVariant> variants = {
        {"steady", [](TestInstance& t, Rng&, int,
                      double s) { setTime(t, kBothValid, beatsAfter(t, s, 120.0), 120.0); }},
        {"no record", [](TestInstance& t, Rng&, int, double) { t.timeAvailable = false; }},
        {"no flags",
         [](TestInstance& t, Rng&, int, double s) { setTime(t, 0, beatsAfter(t, s, 90.0), 90.0); }},
        {"position only",
         [](TestInstance& t, Rng&, int, double s) {
             setTime(t, kVstPpqPosValid, beatsAfter(t, s, 120.0), nan);
         }},
        {"tempo only",
         [](TestInstance& t, Rng&, int, double) { setTime(t, kVstTempoValid, nan, 140.0); }},
        {"NaN position",
         [](TestInstance& t, Rng&, int, double) { setTime(t, kBothValid, nan, 120.0); }},
        {"NaN tempo", [](TestInstance& t, Rng&, int,
                         double s) { setTime(t, kBothValid, beatsAfter(t, s, 120.0), nan); }},
        {"infinite",
         [](TestInstance& t, Rng&, int block, double) {
             setTime(t, kBothValid, block % 2 == 0 ? inf : -inf, block % 2 == 0 ? -inf : inf);
         }},
        {"negative",
         [](TestInstance& t, Rng&, int, double s) {
             setTime(t, kBothValid, -1000.0 + beatsAfter(t, s, 120.0), -120.0);
         }},
        {"huge",
         [](TestInstance& t, Rng&, int block, double) {
             setTime(t, kBothValid, block % 2 == 0 ? 1e300 : 1e15, block % 3 == 0 ? 1e300 : 1e9);
         }},
        {"tiny tempo", [](TestInstance& t, Rng&, int block,
                          double) { setTime(t, kBothValid, 1.0, block % 2 == 0 ? 1e-300 : 0.0); }},
        {"jumps",
         [](TestInstance& t, Rng& rng, int, double) {
             setTime(t, kBothValid, rng.uniform(-1e6, 1e6), rng.uniform(1.0, 999.0));
         }},
        {"loops", [](TestInstance& t, Rng&, int block,
                     double) { setTime(t, kBothValid, 4.0 + 0.25 * (block % 3), 120.0); }},
        {"tempo ramp",
         [](TestInstance& t, Rng&, int block, double s) {
             const double tempo = 20.0 + 40.0 * block;
             setTime(t, kBothValid, beatsAfter(t, s, tempo), tempo);
         }},
    };
    return variants;
}

std::vector<float> validSampleRates() {
    return {8000.0f,  11025.0f, 16000.0f,  22050.0f,  44100.0f,  48000.0f,
            88200.0f, 96000.0f, 176400.0f, 192000.0f, 384000.0f, 768000.0f};
}

std::vector<float> invalidSampleRates() {
    return {0.0f,
            -44100.0f,
            std::numeric_limits<float>::quiet_NaN(),
            std::numeric_limits<float>::infinity(),
            -std::numeric_limits<float>::infinity(),
            1e-30f,
            std::numeric_limits<float>::denorm_min()};
}

}  // namespace validate
