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

#if defined(__x86_64__)

namespace {

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

std::string hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

struct CallerMode {
    const char* name;
    unsigned mxcsr;
};

// Modes hosts run their audio threads in.
constexpr CallerMode kCallerModes[] = {
    {"default", 0x1F80},
    {"flush-to-zero and denormals-are-zero", 0x9FC0},
    {"round toward zero", 0x7F80},
    {"round down", 0x3F80},
};

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
        const FloatMode mode{caller.mxcsr, original.x87};
        // Runs one call into the plug-in under the caller's mode and compares.
        auto guarded = [&](const std::string& what, const std::function<void()>& call) {
            setMode(mode);
            call();
            const FloatMode after = currentMode();
            setMode(original);
            ++calls;
            if (after.mxcsr != mode.mxcsr) {
                context.problem(what + " changed MXCSR from " + hex(mode.mxcsr) + " to " +
                                hex(after.mxcsr) + " (caller mode: " + caller.name + ")");
            }
            if (after.x87 != mode.x87) {
                context.problem(what + " changed the x87 control word from " + hex(mode.x87) +
                                " to " + hex(after.x87) + " (caller mode: " + caller.name + ")");
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
                  std::to_string(std::size(kCallerModes)) +
                  " caller modes, MXCSR mode bits and x87 control word compared after each");
}

#else

void checkFloatingPointMode(Context& context, const LoadedPlugin&) {
    context.skip("the floating-point mode check knows x86-64 only");
}

#endif

}  // namespace validate
