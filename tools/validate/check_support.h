// What the checks share: the report channel to the parent process, a seeded
// random source, a small host that drives one effect record, planar audio
// buffers, guarded buffers with canaries and the text probe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/vst_host.h"
#include "tools/validate/validator.h"
#include "vst/vst_opcodes.h"
#include "vst/vst_records.h"

namespace validate {

// splitmix64: the same numbers on every platform for a given seed.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    double uniform();                                           // [0, 1)
    double uniform(double low, double high);                    // [low, high)
    std::int64_t between(std::int64_t low, std::int64_t high);  // inclusive
    bool chance(double probability) { return uniform() < probability; }
    template <typename T>
    const T& pick(const std::vector<T>& values) {
        return values[static_cast<std::size_t>(
            between(0, static_cast<std::int64_t>(values.size()) - 1))];
    }

private:
    std::uint64_t state_;
};

// One check's view of the run. Messages go to the parent through a pipe, one
// write per line, so that what was reached survives a crash.
class Context {
public:
    Context(const Options& options, const std::string& checkName, int reportFd);

    const Options& options() const { return options_; }
    int level() const { return options_.level; }
    Rng& rng() { return rng_; }
    const Profile& profile() const { return profile_; }
    void setProfile(const Profile& profile) { profile_ = profile; }

    // Linear in the level: `atOne` at level 1, `atTen` at level 10.
    int scaled(int atOne, int atTen) const;

    void step(const std::string& what);     // what is being tried now
    void problem(const std::string& what);  // thread-safe
    void tried(const std::string& what);
    void skip(const std::string& why);
    std::size_t problemCount() const;

private:
    void send(char kind, const std::string& text);
    const Options& options_;
    Rng rng_;
    Profile profile_;
    int fd_;
    mutable std::mutex mutex_;
    std::size_t problems_ = 0;
};

// The plug-in file and its entry point.
class LoadedPlugin {
public:
    static std::unique_ptr<LoadedPlugin> load(const std::string& path, std::string* error);
    vsthost::EntryPoint entry() const { return entry_; }

private:
    std::unique_ptr<vsthost::PluginLibrary> library_;
    vsthost::EntryPoint entry_ = nullptr;
};

// One effect instance and the host side it talks to: the time record it
// gets for audioMasterGetTime, the rate and block size the host reports.
// The callback neither allocates nor locks.
class TestInstance {
public:
    static std::unique_ptr<TestInstance> create(vsthost::EntryPoint entry);
    ~TestInstance();
    TestInstance(const TestInstance&) = delete;
    TestInstance& operator=(const TestInstance&) = delete;

    AEffect* record() const { return effect_; }
    int inputs() const { return effect_->numInputs; }
    int outputs() const { return effect_->numOutputs; }
    int params() const { return effect_->numParams; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void open() { dispatch(effOpen); }
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

    VstTimeInfo time{};
    bool timeAvailable = true;
    double hostRate = 44100.0;
    VstInt32 hostBlockSize = 1024;

    // The answer to one host call.
    VstIntPtr answer(VstInt32 opcode);

private:
    explicit TestInstance(AEffect* effect) : effect_(effect) {}
    AEffect* effect_;
};

// Planar float channels with the pointer arrays a host passes.
class AudioBuffers {
public:
    AudioBuffers(int inputs, int outputs, std::size_t frames);
    float** in() { return inPointers_.data(); }
    float** out() { return outPointers_.data(); }
    std::vector<float>& inChannel(std::size_t c) { return in_[c]; }
    std::vector<float>& outChannel(std::size_t c) { return out_[c]; }
    int inputs() const { return static_cast<int>(in_.size()); }
    int outputs() const { return static_cast<int>(out_.size()); }
    std::size_t frames() const { return frames_; }
    // Input: noise in -1..1 with short silent stretches; output: a fill the
    // plug-in must overwrite.
    void fillNoise(Rng& rng);
    void fillOutputs(float value);

private:
    std::size_t frames_;
    std::vector<std::vector<float>> in_;
    std::vector<std::vector<float>> out_;
    std::vector<float*> inPointers_;
    std::vector<float*> outPointers_;
};

// `capacity` writable bytes between a leading and a trailing run of canary
// bytes, with an inaccessible page right after: a write past the end is
// either seen in the canaries or stopped by the page.
class GuardedBuffer {
public:
    explicit GuardedBuffer(std::size_t capacity);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    unsigned char* data() { return data_; }
    std::size_t capacity() const { return capacity_; }
    void fill(unsigned char value);
    // Index of the first damaged canary byte counted from data() (negative
    // before it), or no value when all are intact.
    bool canariesIntact(std::ptrdiff_t* firstDamaged) const;
    void resetCanaries();

    static constexpr std::size_t kCanaryBytes = 64;

private:
    unsigned char* base_ = nullptr;
    std::size_t mapped_ = 0;
    unsigned char* data_ = nullptr;
    std::size_t capacity_;
};

// What a text opcode wrote into a host's buffer, found by calling it twice
// over two different fills: a byte counts as written when it differs from
// the fill in either call.
struct TextProbe {
    bool wroteAnything = false;
    std::size_t bytesWritten = 0;  // highest written index + 1
    bool terminated = false;       // a zero byte within limit + 1 bytes
    bool pastBuffer = false;       // canaries damaged
    std::string text;              // up to the first zero byte (or the limit)
};

// Customary host text buffer size, and the bound checked within it.
inline constexpr std::size_t kHostTextBuffer = 256;

template <typename Call>
TextProbe probeText(GuardedBuffer& buffer, std::size_t limit, Call&& call);

// "wrote 40 bytes (limit 8 characters and the zero byte)" or empty when fine.
std::string judgeText(const TextProbe& probe, std::size_t limit);

// Sample classification for the audio invariants.
bool isSubnormal(float value);
std::string describeFloat(float value);
std::string describeDouble(double value);

// First problem in one processed block: a sample that is not finite or is
// subnormal, or, with maxGain > 0, above maxGain × |input| on its channel.
std::string auditBlock(AudioBuffers& buffers, std::size_t frames, double maxGain,
                       float** inputs = nullptr);

// Interesting float values for parameters, opt and rates.
std::vector<float> edgeFloats();

// True when the process runs under a memory checker whose allocator keeps
// freed blocks (AddressSanitizer, valgrind), so resident memory says nothing
// about leaks.
bool allocatorKeepsFreedMemory();
bool underValgrind();
bool underSanitizer();

template <typename Call>
TextProbe probeText(GuardedBuffer& buffer, std::size_t limit, Call&& call) {
    TextProbe probe;
    const unsigned char fills[2] = {0xA5, 0x5A};
    std::vector<unsigned char> first;
    for (const unsigned char fill : fills) {
        buffer.resetCanaries();
        buffer.fill(fill);
        call(reinterpret_cast<char*>(buffer.data()));
        std::ptrdiff_t damaged = 0;
        if (!buffer.canariesIntact(&damaged)) {
            probe.pastBuffer = true;
        }
        for (std::size_t i = 0; i < buffer.capacity(); ++i) {
            if (buffer.data()[i] != fill) {
                probe.wroteAnything = true;
                probe.bytesWritten = std::max(probe.bytesWritten, i + 1);
            }
        }
        if (first.empty()) {
            first.assign(buffer.data(), buffer.data() + buffer.capacity());
        }
    }
    const std::size_t scan = std::min(limit + 1, first.size());
    for (std::size_t i = 0; i < scan; ++i) {
        if (first[i] == 0) {
            probe.terminated = true;
            probe.text.assign(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    return probe;
}

}  // namespace validate

namespace validate {

// One way a host fills its time record, applied before each block.
struct TimeVariant {
    const char* name;
    // block: index of the block; samplesBefore: frames processed before it.
    void (*apply)(TestInstance& instance, Rng& rng, int block, double samplesBefore);
};
const std::vector<TimeVariant>& timeVariants();

// Sample rates hosts use, and ones no host should send but some do.
std::vector<float> validSampleRates();
std::vector<float> invalidSampleRates();

}  // namespace validate
