// A small, correct stereo effect written against the interface records
// only, with one deliberate fault switched on per build (FAULT_... defined
// by CMake). Each fault is something a real plug-in gets wrong; the
// validator's tests show that the check meant to catch it fails.
#include <pthread.h>
#include <unistd.h>
#if defined(_WIN32)
#include <windows.h>
#endif
#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vst/vst_opcodes.h"
#include "vst/vst_records.h"

namespace {

constexpr VstInt32 kParams = 2;
#if defined(FAULT_MONO_IN)
// Correct, with one input feeding both outputs: in place, only output 0
// shares its buffer with an input.
constexpr VstInt32 kInputs = 1;
#else
constexpr VstInt32 kInputs = 2;
#endif

#if defined(FAULT_SHARED_STATE)
// One modulation phase for every instance: instances disturb each other.
double sharedPhase = 0.0;
#endif

struct FaultyEffect {
    AEffect record{};
    audioMasterCallback host = nullptr;
    std::atomic<float> parameters[kParams] = {0.5f, 0.5f};
    float sampleRate = 44100.0f;
    double phase = 0.0;
    float previous[2] = {0.0f, 0.0f};
    float scratch[2] = {};
    float* resumedScratch = nullptr;  // set by resume
#if defined(FAULT_THREAD_RACE)
    float racyGain = 1.0f;  // written in two steps by setParameter, unsynchronised
#endif
#if defined(FAULT_LEAK_PER_INSTANCE)
    char* cache = nullptr;
#endif
};

FaultyEffect* effectOf(AEffect* record) { return static_cast<FaultyEffect*>(record->object); }

void copyText(void* destination, const char* text, std::size_t limit) {
    if (destination == nullptr) {
        return;
    }
    auto* out = static_cast<char*>(destination);
    std::size_t n = 0;
    for (; n < limit && text[n] != '\0'; ++n) {
        out[n] = text[n];
    }
    std::memset(out + n, 0, limit - n + 1);
}

float gainOf(FaultyEffect& effect, std::size_t frame) {
#if defined(FAULT_SHARED_STATE)
    double& phase = sharedPhase;
#else
    double& phase = effect.phase;
#endif
    phase += 0.001;
    if (phase > 6.283185307179586) {
        phase -= 6.283185307179586;
    }
    const float depth = effect.parameters[1].load(std::memory_order_relaxed);
    float gain = effect.parameters[0].load(std::memory_order_relaxed) *
                 (1.0f - 0.5f * depth * static_cast<float>(std::sin(phase) + 1.0));
#if defined(FAULT_THREAD_RACE)
    gain *= effect.racyGain;
#endif
#if defined(FAULT_GAIN_BOUND)
    gain = 1.5f;
#endif
    static_cast<void>(frame);
    return gain;
}

void processReplacing(AEffect* record, float** inputs, float** outputs, VstInt32 frames) {
    FaultyEffect& effect = *effectOf(record);
    if (effect.host != nullptr) {
        effect.host(record, audioMasterGetTime, 0, kVstPpqPosValid | kVstTempoValid, nullptr, 0.0f);
    }
#if defined(FAULT_MXCSR) && defined(__x86_64__)
    _mm_setcsr(_mm_getcsr() | 0x8040u);  // flush-to-zero, never restored
#elif defined(FAULT_MXCSR) && defined(__aarch64__)
    unsigned long fpcr = 0;
    asm volatile("mrs %0, fpcr" : "=r"(fpcr));
    asm volatile("msr fpcr, %0" : : "r"(fpcr | 0x1000000ul));  // FZ, never restored
#endif
#if defined(FAULT_ALLOC_IN_PROCESS)
    std::vector<float> temporary(static_cast<std::size_t>(frames > 0 ? frames : 1));
    static_cast<void>(temporary);
#endif
#if defined(FAULT_LOCK_IN_PROCESS)
    static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_mutex_lock(&lock);
    pthread_mutex_unlock(&lock);
#endif
#if defined(FAULT_NO_RESUME)
    effect.resumedScratch[0] = 0.0f;  // null until the first resume
#endif
#if defined(FAULT_TRYLOCK_IN_PROCESS)
    // Correct: a trylock never blocks; the audio thread skips the work when
    // the lock is taken.
    static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    if (pthread_mutex_trylock(&lock) == 0) {
        pthread_mutex_unlock(&lock);
    }
#endif
#if defined(FAULT_NEGATIVE_FRAMES)
    const auto count = static_cast<std::uint32_t>(frames);  // -1 becomes four billion
#else
    if (frames <= 0) {
        return;
    }
    const auto count = static_cast<std::uint32_t>(frames);
#endif
#if !defined(FAULT_NULL_CHANNELS)
    if (inputs == nullptr || outputs == nullptr || inputs[0] == nullptr ||
        inputs[kInputs - 1] == nullptr || outputs[0] == nullptr || outputs[1] == nullptr) {
        return;
    }
#endif
    for (std::uint32_t i = 0; i < count; ++i) {
        const float gain = gainOf(effect, i);
        // Both inputs of the frame are read before either output is
        // written: in place, an output may be an input's buffer.
        const float frame[2] = {inputs[0][i], inputs[kInputs - 1][i]};
        for (std::size_t c = 0; c < 2; ++c) {
            const float x = frame[c];
#if defined(FAULT_IN_PLACE)
            // Reads the previous input back from the buffer, which in place
            // already holds the previous output.
            const float before = i > 0 ? inputs[c][i - 1] : effect.previous[c];
            outputs[c][i] = gain * 0.5f * (x + before);
#else
            outputs[c][i] = gain * x;
#endif
            effect.previous[c] = x;
        }
    }
#if defined(FAULT_NAN_OUTPUT)
    if (count >= 2) {
        outputs[0][count / 2] = std::nanf("");
    }
#endif
#if defined(FAULT_SUBNORMAL_OUTPUT)
    outputs[1][count - 1] = 1e-41f;
#endif
}

void processAccumulating(AEffect*, float**, float**, VstInt32) {}

void setParameter(AEffect* record, VstInt32 index, float value) {
    FaultyEffect& effect = *effectOf(record);
#if defined(FAULT_NAN_PARAMETER)
    // Takes any value, NaN included, which then reaches the output.
    if (index >= 0 && index < kParams) {
        effect.parameters[index].store(value, std::memory_order_relaxed);
    }
    return;
#endif
    if (index < 0 || index >= kParams || !std::isfinite(value)) {
        return;
    }
#if defined(FAULT_THREAD_RACE)
    effect.racyGain = std::nanf("");
    for (int spin = 0; spin < 20000; ++spin) {
        asm volatile("" ::: "memory");  // a window in which processing reads NaN
    }
    effect.racyGain = 1.0f;
#endif
    // Subnormal settings count as zero: they would make subnormal output.
    if (std::fabs(value) < 1.17549435e-38f) {
        value = 0.0f;
    }
#if defined(FAULT_PARAM_RANGE)
    effect.parameters[index].store(value, std::memory_order_relaxed);  // never clamped
#else
    effect.parameters[index].store(std::fmin(std::fmax(value, 0.0f), 1.0f),
                                   std::memory_order_relaxed);
#endif
}

float getParameter(AEffect* record, VstInt32 index) {
    if (index < 0 || index >= kParams) {
        return 0.0f;
    }
    return effectOf(record)->parameters[index].load(std::memory_order_relaxed);
}

VstIntPtr dispatcher(AEffect* record, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                     float opt) {
    FaultyEffect& effect = *effectOf(record);
    const bool parameter = index >= 0 && index < kParams;
    switch (opcode) {
    case effClose:
#if defined(FAULT_LEAK_PER_INSTANCE)
        effect.cache = nullptr;  // forgotten, never freed
#endif
        delete &effect;
        return 1;
    case effGetParamName:
        if (parameter) {
#if defined(FAULT_TEXT_OVERRUN)
            // Past any buffer a host gives.
            if (ptr != nullptr) {
                std::memset(ptr, 'x', 300);
                static_cast<char*>(ptr)[299] = '\0';
            }
#elif defined(FAULT_LONG_TEXT)
            // A long name in a zero-padded 200 bytes: longer than the
            // interface's nominal 8, harmless in a host's 256-byte buffer.
            if (ptr != nullptr) {
                std::memset(ptr, 0, 200);
                std::strcpy(static_cast<char*>(ptr), "A parameter name of forty characters...");
            }
#else
            copyText(ptr, index == 0 ? "Gain" : "Depth", kVstMaxParamStrLen);
#endif
        }
        return 0;
    case effGetParamLabel:
#if defined(FAULT_UNTERMINATED)
        // Fills the whole buffer with no zero byte.
        if (ptr != nullptr) {
            std::memset(ptr, 'x', 256);
        }
#else
        copyText(ptr, index == 1 ? "%" : "", kVstMaxParamStrLen);
#endif
        return 0;
    case effGetParamDisplay:
        if (parameter) {
            const int percent = static_cast<int>(effect.parameters[index].load() * 100.0f);
            char text[8] = {static_cast<char>('0' + percent / 100),
                            static_cast<char>('0' + percent / 10 % 10),
                            static_cast<char>('0' + percent % 10), '\0'};
            copyText(ptr, text, kVstMaxParamStrLen);
        }
        return 0;
    case effGetProgramName:
        copyText(ptr, "Default", 24);
        return 0;
    case effSetSampleRate:
        if (std::isfinite(opt) && opt > 0.0f) {
            effect.sampleRate = opt;
        }
        return 0;
    case effMainsChanged:
#if defined(FAULT_NOISY)
        // Talks on standard error, as many plug-ins do.
        std::fprintf(stderr, "noisy effect: mains %s\n", value != 0 ? "on" : "off");
#endif
        if (value != 0) {
            effect.resumedScratch = effect.scratch;
        }
        return 0;
    case effGetEffectName:
        copyText(ptr, "Faulty Test Effect", kVstMaxEffectNameLen);
        return 1;
    case effGetVendorString:
#if defined(FAULT_CRASH_OPCODE)
        std::strcpy(static_cast<char*>(ptr), "K'q tests");  // no null check
#else
        copyText(ptr, "K'q tests", kVstMaxVendorStrLen);
#endif
        return 1;
    case effGetProductString:
        copyText(ptr, "Faulty Test Effect", kVstMaxProductStrLen);
        return 1;
    case effGetVendorVersion:
#if defined(FAULT_HANG)
        for (;;) {
#if defined(_WIN32)
            SleepEx(INFINITE, FALSE);
#else
            pause();  // waits for a signal that never comes
#endif
        }
#endif
        return 1;
    case effGetVstVersion:
        return kVstVersion;
    case effGetTailSize:
#if defined(FAULT_CRASH_IN_CALL)
        std::raise(SIGSEGV);  // as a stray pointer would
#endif
        return 0;
#if defined(FAULT_EDITOR_NEEDS_DISPLAY)
    case effEditGetRect:
    case effEditOpen:
    case effEditIdle:
        // An editor that cannot work without a display, and aborts.
        if (std::getenv("DISPLAY") == nullptr) {
            std::abort();
        }
        return 0;
#endif
    default:
        return 0;
    }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) {
    if (host == nullptr || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    auto* effect = new FaultyEffect;
    effect->host = host;
    AEffect& record = effect->record;
    record.magic = kEffectMagic;
    record.dispatcher = dispatcher;
    record.process = processAccumulating;
    record.setParameter = setParameter;
    record.getParameter = getParameter;
    record.processReplacing = processReplacing;
    record.numPrograms = 1;
    record.numParams = kParams;
    record.numInputs = kInputs;
    record.numOutputs = 2;
    record.flags = effFlagsCanReplacing;
#if defined(FAULT_EDITOR_NEEDS_DISPLAY)
    record.flags |= effFlagsHasEditor;
#endif
    record.ioRatio = 1.0f;
    record.object = effect;
    record.uniqueID = fourCharCode('f', 'L', 't', 'Y');
    record.version = 1;
#if defined(FAULT_LEAK_PER_INSTANCE)
    effect->cache = new char[64 * 1024];
    std::memset(effect->cache, 1, 64 * 1024);
#endif
    return &record;
}
