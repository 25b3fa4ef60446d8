// Floating-point mode: whatever rounding, flush-to-zero and exception masks
// the caller has set must be the same after every call into the plug-in.
// The sticky exception flags (the low six MXCSR bits) are results, not mode,
// and are not compared.
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "checks.h"
#include "host_calls.h"

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace validate {

#if defined(__x86_64__) || defined(__aarch64__)

namespace {

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%04llx", static_cast<unsigned long long>(value));
    return text;
}

#if defined(__x86_64__)

constexpr unsigned kStatusFlags = 0x3F;

struct FloatMode {
    unsigned mxcsr;
    std::uint16_t x87;
};

FloatMode currentMode() {
    FloatMode mode{_mm_getcsr() & ~kStatusFlags, 0};
    asm volatile("fnstcw %0" : "=m"(mode.x87));
    return mode;
}

void setMode(const FloatMode& mode) {
    _mm_setcsr(mode.mxcsr);
    asm volatile("fldcw %0" : : "m"(mode.x87));
}

// The caller's mode with `control` as its vector control register.
FloatMode callerMode(const FloatMode& original, std::uint64_t control) {
    return {static_cast<unsigned>(control), original.x87};
}

// What differs between `expected` and `after`, as problem texts.
std::vector<std::string> differences(const FloatMode& expected, const FloatMode& after) {
    std::vector<std::string> found;
    if (after.mxcsr != expected.mxcsr) {
        found.push_back("changed MXCSR from " + hex(expected.mxcsr) + " to " + hex(after.mxcsr));
    }
    if (after.x87 != expected.x87) {
        found.push_back("changed the x87 control word from " + hex(expected.x87) + " to " +
                        hex(after.x87));
    }
    return found;
}

constexpr const char* kComparedRegisters = "MXCSR mode bits and x87 control word";

struct CallerMode {
    const char* name;
    std::uint64_t control;
};

// Modes hosts run their audio threads in.
constexpr CallerMode kCallerModes[] = {
    {"default", 0x1F80},
    {"flush-to-zero and denormals-are-zero", 0x9FC0},
    {"round toward zero", 0x7F80},
    {"round down", 0x3F80},
};

#else  // __aarch64__

// FPCR holds mode only (rounding, flush-to-zero, default NaN, trap enables);
// the exception flags are in FPSR.
struct FloatMode {
    std::uint64_t fpcr;
};

FloatMode currentMode() {
    FloatMode mode{0};
    asm volatile("mrs %0, fpcr" : "=r"(mode.fpcr));
    return mode;
}

void setMode(const FloatMode& mode) { asm volatile("msr fpcr, %0" : : "r"(mode.fpcr)); }

FloatMode callerMode(const FloatMode&, std::uint64_t control) { return {control}; }

std::vector<std::string> differences(const FloatMode& expected, const FloatMode& after) {
    std::vector<std::string> found;
    if (after.fpcr != expected.fpcr) {
        found.push_back("changed FPCR from " + hex(expected.fpcr) + " to " + hex(after.fpcr));
    }
    return found;
}

constexpr const char* kComparedRegisters = "FPCR";

struct CallerMode {
    const char* name;
    std::uint64_t control;
};

// Modes hosts run their audio threads in: FZ is bit 24, DN bit 25, RMode
// bits 22 and 23.
constexpr CallerMode kCallerModes[] = {
    {"default", 0x0},
    {"flush-to-zero and default NaN", 0x3000000},
    {"round toward zero", 0xC00000},
    {"round down", 0x800000},
};

#endif

}  // namespace

void checkFloatingPointMode(Context& context, const LoadedPlugin& plugin) {
    if (underValgrind()) {
        context.skip("valgrind does not model the flush-to-zero and denormals-are-zero modes");
        return;
    }
    const FloatMode original = currentMode();
    int calls = 0;
    constexpr VstInt32 kFrames = 512;
    for (const CallerMode& caller : kCallerModes) {
        const FloatMode mode = callerMode(original, caller.control);
        // Runs one call into the plug-in under the caller's mode and compares.
        auto guarded = [&](const std::string& what, const std::function<void()>& call) {
            setMode(mode);
            call();
            const FloatMode after = currentMode();
            setMode(original);
            ++calls;
            for (const std::string& difference : differences(mode, after)) {
                context.problem(what + " " + difference + " (caller mode: " + caller.name + ")");
            }
        };
        context.step(std::string("calls in caller mode ") + caller.name);
        std::unique_ptr<TestInstance> instance;
        guarded("the entry point", [&] { instance = TestInstance::create(plugin.entry()); });
        if (instance == nullptr) {
            context.problem("the entry point returned no effect record");
            return;
        }
        guarded("effOpen", [&] { instance->open(); });
        guarded("effSetSampleRate", [&] { instance->setSampleRate(48000.0f); });
        guarded("effSetBlockSize", [&] { instance->setBlockSize(kFrames); });
        guarded("effMainsChanged resume", [&] { instance->resume(); });
        AudioBuffers buffers(instance->inputs(), instance->outputs(), kFrames);
        for (VstInt32 p = 0; p < instance->params(); ++p) {
            for (const float value : {0.0f, 0.37f, 1.0f}) {
                guarded("setParameter(" + std::to_string(p) + ")",
                        [&] { instance->setParameter(p, value); });
                guarded("getParameter(" + std::to_string(p) + ")",
                        [&] { instance->getParameter(p); });
                for (const VstInt32 opcode :
                     {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
                    char text[kHostTextBuffer] = {};
                    guarded(
                        "opcode " + std::to_string(opcode) + " on parameter " + std::to_string(p),
                        [&] { instance->dispatch(opcode, p, 0, text); });
                }
                const auto& variants = timeVariants();
                for (std::size_t v = 0; v < variants.size(); ++v) {
                    variants[v].apply(*instance, context.rng(), static_cast<int>(v), 0.0);
                    buffers.fillNoise(context.rng());
                    guarded(std::string("processReplacing (time '") + variants[v].name + "')",
                            [&] { instance->process(buffers.in(), buffers.out(), kFrames); });
                }
            }
        }
        // Every other opcode hosts send, with the arguments they pass.
        OpcodeCaller opcodes(*instance, context.profile());
        for (const VstInt32 opcode : opcodes.realisticOpcodes()) {
            guarded(opcodeName(opcode), [&] { opcodes.realistic(opcode, context.rng(), nullptr); });
        }
        guarded("effMainsChanged suspend", [&] { instance->suspend(); });
        guarded("effClose", [&] { instance->close(); });
    }
    setMode(original);
    context.tried(std::to_string(calls) + " calls under " +
                  std::to_string(std::size(kCallerModes)) + " caller modes, " + kComparedRegisters +
                  " compared after each");
}

#else

void checkFloatingPointMode(Context& context, const LoadedPlugin&) {
    context.skip("the floating-point mode check knows x86-64 and AArch64 only");
}

#endif

}  // namespace validate
