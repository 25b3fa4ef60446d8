#include "fuzz/harness/fuzz_session.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "framework/effect_factory.h"
#include "panner/drifton_vst.h"

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace drifton::fuzz {

namespace {

// The control half of MXCSR (rounding, flush modes, exception masks). The
// status flags below it record what arithmetic happened and may change.
unsigned int floatingPointMode() {
#if defined(__x86_64__)
    return _mm_getcsr() & 0xFFC0u;
#else
    return 0;
#endif
}

// The plug-in's own text limits (characters, without the terminating zero).
constexpr std::size_t kShortTextLimit = 8;
constexpr std::size_t kLongTextLimit = 16;  // PhaseShift's name, Width and PhaseShift displays
constexpr std::size_t kNameLimit = 24;      // effect, vendor, product and program names

constexpr float kPanLawBound = 1.41422f;
constexpr float kSentinel = 0.125f;
constexpr std::size_t kSentinelFrames = 16;

std::unique_ptr<float[]> channelOf(std::size_t frames, float fill) {
    auto channel = std::make_unique<float[]>(frames);
    std::fill_n(channel.get(), frames, fill);
    return channel;
}

void checkChannel(const float* input, const float* output, std::size_t frames, const char* name,
                  Findings& findings) {
    for (std::size_t i = 0; i < frames; ++i) {
        const float out = output[i];
        if (!std::isfinite(out)) {
            findings.fail(std::string(name) + " output not finite at frame " + std::to_string(i));
            return;
        }
        if (std::fpclassify(out) == FP_SUBNORMAL) {
            findings.fail(std::string(name) + " output subnormal at frame " + std::to_string(i));
            return;
        }
        if (static_cast<double>(std::fabs(out)) >
            static_cast<double>(kPanLawBound) * static_cast<double>(std::fabs(input[i]))) {
            findings.fail(std::string(name) + " output " + std::to_string(out) +
                          " above 1.41422 x input " + std::to_string(input[i]) + " at frame " +
                          std::to_string(i));
            return;
        }
    }
}

// Noise in -amplitude..amplitude from a plain LCG, repeatable everywhere.
void fillSignal(float* channel, std::size_t frames, std::uint32_t& state, float amplitude) {
    for (std::size_t i = 0; i < frames; ++i) {
        state = state * 1664525u + 1013904223u;
        const auto centred = static_cast<std::int32_t>(state >> 8) - (1 << 23);
        channel[i] = amplitude * (static_cast<float>(centred) / static_cast<float>(1 << 23));
    }
}

bool sameBits(const float* a, const float* b, std::size_t frames) {
    return std::memcmp(a, b, frames * sizeof(float)) == 0;
}

}  // namespace

FuzzEffect::FuzzEffect(vsthost::Host& host, Findings& findings) : findings_(findings) {
    const unsigned int modeBefore = floatingPointMode();
    effect_ = host.create(
        [](audioMasterCallback callback) { return createEffectInstance<DriftonVST>(callback); });
    if (effect_ == nullptr) {
        findings_.fail("the entry function answered no effect record");
        return;
    }
    initial_ = *effect_;
    checkAfterCall(modeBefore, "entry function");
}

FuzzEffect::~FuzzEffect() { close(); }

VstIntPtr FuzzEffect::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt) {
    if (effect_ == nullptr) {
        return 0;
    }
    if (opcode == effClose) {
        close();
        return 1;
    }
    const unsigned int modeBefore = floatingPointMode();
    const VstIntPtr answer = effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    checkAfterCall(modeBefore, "dispatcher");
    return answer;
}

void FuzzEffect::setParameter(VstInt32 index, float value) {
    if (effect_ == nullptr) {
        return;
    }
    const unsigned int modeBefore = floatingPointMode();
    effect_->setParameter(effect_, index, value);
    checkAfterCall(modeBefore, "setParameter");
}

float FuzzEffect::getParameter(VstInt32 index) {
    if (effect_ == nullptr) {
        return 0.0f;
    }
    const unsigned int modeBefore = floatingPointMode();
    const float value = effect_->getParameter(effect_, index);
    checkAfterCall(modeBefore, "getParameter");
    return value;
}

void FuzzEffect::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    if (effect_ == nullptr) {
        return;
    }
    const unsigned int modeBefore = floatingPointMode();
    effect_->processReplacing(effect_, inputs, outputs, frames);
    checkAfterCall(modeBefore, "processReplacing");
}

void FuzzEffect::close() {
    if (effect_ == nullptr) {
        return;
    }
    AEffect* const closing = effect_;
    effect_ = nullptr;
    const unsigned int modeBefore = floatingPointMode();
    if (closing->dispatcher(closing, effClose, 0, 0, nullptr, 0.0f) != 1) {
        findings_.fail("effClose did not answer 1");
    }
    if (floatingPointMode() != modeBefore) {
        findings_.fail("effClose changed the caller's floating-point mode");
    }
}

void FuzzEffect::checkAfterCall(unsigned int modeBefore, const char* call) {
    if (floatingPointMode() != modeBefore) {
        findings_.fail(std::string(call) + " changed the caller's floating-point mode");
    }
    const AEffect& now = *effect_;
    const bool intact =
        now.magic == initial_.magic && now.dispatcher == initial_.dispatcher &&
        now.process == initial_.process && now.setParameter == initial_.setParameter &&
        now.getParameter == initial_.getParameter &&
        now.processReplacing == initial_.processReplacing &&
        now.processDoubleReplacing == initial_.processDoubleReplacing &&
        now.object == initial_.object && now.numPrograms == initial_.numPrograms &&
        now.numParams == initial_.numParams && now.numInputs == initial_.numInputs &&
        now.numOutputs == initial_.numOutputs && now.flags == initial_.flags &&
        now.uniqueID == initial_.uniqueID && now.version == initial_.version;
    if (!intact) {
        findings_.fail(std::string(call) + " changed the effect record");
    }
}

namespace {
// The buffer ends flush against its canaries, so a capacity that is a
// multiple of the strictest alignment starts it aligned: a host hands a
// record or a pointer slot on its natural alignment, never at an odd byte.
std::size_t alignedCapacity(std::size_t bytes) {
    constexpr std::size_t kAlign = alignof(std::max_align_t);
    return (bytes + kAlign - 1) / kAlign * kAlign;
}
}  // namespace

LimitedBuffer::LimitedBuffer(std::size_t writable, const std::uint8_t* content,
                             std::size_t contentSize)
    : writable_(writable), buffer_(alignedCapacity(std::max(writable + 16, contentSize + 1))) {
    const std::size_t size = buffer_.capacity();
    before_ = std::make_unique<char[]>(size);
    buffer_.fill(0xA5);
    if (contentSize > 0) {
        std::memcpy(buffer_.data(), content, contentSize);
    }
    buffer_.data()[contentSize] = 0;
    std::memcpy(before_.get(), buffer_.data(), size);
}

std::string LimitedBuffer::problem(bool isText) const {
    const std::size_t size = buffer_.capacity();
    const auto* bytes = reinterpret_cast<const char*>(buffer_.data());
    std::ptrdiff_t damaged = 0;
    if (!buffer_.canariesIntact(&damaged)) {
        return "wrote byte " + std::to_string(damaged) + ", outside the buffer";
    }
    for (std::size_t i = writable_; i < size; ++i) {
        if (bytes[i] != before_[i]) {
            return "wrote byte " + std::to_string(i) + ", past its limit of " +
                   std::to_string(writable_) + " bytes";
        }
    }
    if (!isText || std::memcmp(bytes, before_.get(), writable_) == 0) {
        return {};
    }
    if (std::find(bytes, bytes + writable_, '\0') == bytes + writable_) {
        return "wrote a text without a zero byte within its " + std::to_string(writable_) +
               " bytes";
    }
    return {};
}

std::size_t writableBytes(VstInt32 opcode, VstInt32 index) {
    switch (opcode) {
    case effGetProgramName:
    case effGetEffectName:
    case effGetVendorString:
    case effGetProductString:
        return kNameLimit + 1;
    case effGetParamLabel:
        return kShortTextLimit + 1;
    case effGetParamDisplay:
        return (index == drifton::kWidth || index == drifton::kPhaseShift ? kLongTextLimit
                                                                          : kShortTextLimit) +
               1;
    case effGetParamName:
        return (index == drifton::kPhaseShift ? kLongTextLimit : kShortTextLimit) + 1;
    case effGetSpeakerArrangement:  // a null arrangement pointer through each slot
        return sizeof(void*);
    default:
        return 0;
    }
}

bool writesText(VstInt32 opcode) {
    switch (opcode) {
    case effGetProgramName:
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
    case effGetEffectName:
    case effGetVendorString:
    case effGetProductString:
        return true;
    default:
        return false;
    }
}

void processAndCheck(FuzzEffect& reference, FuzzEffect* subject, BufferLayout layout,
                     VstInt32 frames, TestSignal signal, Findings& findings) {
    if (frames <= 0) {
        // A host that sends a count of zero or less gets nothing written.
        auto inL = channelOf(kSentinelFrames, kSentinel);
        auto inR = channelOf(kSentinelFrames, kSentinel);
        auto outL = channelOf(kSentinelFrames, kSentinel);
        auto outR = channelOf(kSentinelFrames, kSentinel);
        float* inputs[2] = {inL.get(), inR.get()};
        float* outputs[2] = {outL.get(), outR.get()};
        reference.processReplacing(inputs, outputs, frames);
        if (subject != nullptr) {
            subject->processReplacing(inputs, inputs, frames);
        }
        for (const float* channel : {inL.get(), inR.get(), outL.get(), outR.get()}) {
            if (std::any_of(channel, channel + kSentinelFrames,
                            [](float sample) { return sample != kSentinel; })) {
                findings.fail("a frame count of " + std::to_string(frames) +
                              " wrote into the buffers");
                return;
            }
        }
        return;
    }

    const auto count = static_cast<std::size_t>(frames);
    auto inL = channelOf(count, 0.0f);
    auto inR = channelOf(count, 0.0f);
    std::uint32_t state = signal.seed;
    fillSignal(inL.get(), count, state, signal.amplitude);
    fillSignal(inR.get(), count, state, signal.amplitude);

    if (layout == BufferLayout::nullInputs || layout == BufferLayout::nullOutputs ||
        layout == BufferLayout::nullChannel) {
        // Only surviving is asked for. With two instances the reference
        // skips the block, so both keep the same history.
        FuzzEffect& target = subject != nullptr ? *subject : reference;
        float* inputs[2] = {inL.get(), layout == BufferLayout::nullChannel ? nullptr : inR.get()};
        float* outputs[2] = {inL.get(), inR.get()};
        target.processReplacing(layout == BufferLayout::nullInputs ? nullptr : inputs,
                                layout == BufferLayout::nullOutputs ? nullptr : outputs, frames);
        return;
    }

    auto outL = channelOf(count, kSentinel);
    auto outR = channelOf(count, kSentinel);
    float* inputs[2] = {inL.get(), inR.get()};
    float* outputs[2] = {outL.get(), outR.get()};
    reference.processReplacing(inputs, outputs, frames);
    checkChannel(inL.get(), outL.get(), count, "left", findings);
    checkChannel(inR.get(), outR.get(), count, "right", findings);
    if (subject == nullptr) {
        return;
    }

    auto subjectL = channelOf(count, kSentinel);
    auto subjectR = channelOf(count, kSentinel);
    float* subjectOutputs[2] = {subjectL.get(), subjectR.get()};
    if (layout == BufferLayout::inPlace) {
        std::copy_n(inL.get(), count, subjectL.get());
        std::copy_n(inR.get(), count, subjectR.get());
        subject->processReplacing(subjectOutputs, subjectOutputs, frames);
    } else {
        subject->processReplacing(inputs, subjectOutputs, frames);
    }
    if (!sameBits(outL.get(), subjectL.get(), count) ||
        !sameBits(outR.get(), subjectR.get(), count)) {
        findings.fail(
            std::string(layout == BufferLayout::inPlace ? "in-place" : "a second instance's") +
            " output differs from separate buffers' over " + std::to_string(frames) + " frames");
    }
}

void checkParameterReadBack(FuzzEffect& effect, Findings& findings) {
    if (!effect.isOpen()) {
        return;
    }
    const VstInt32 count = effect.record()->numParams;
    for (VstInt32 index = -1; index <= count; ++index) {
        const float value = effect.getParameter(index);
        if (!(value >= 0.0f && value <= 1.0f)) {
            findings.fail("getParameter(" + std::to_string(index) + ") answered " +
                          std::to_string(value) + ", outside 0..1");
            return;
        }
        if (index < 0 || index >= count) {
            continue;
        }
        effect.setParameter(index, value);
        const float again = effect.getParameter(index);
        if (std::memcmp(&again, &value, sizeof(float)) != 0) {
            findings.fail("parameter " + std::to_string(index) + " read back " +
                          std::to_string(value) + ", then " + std::to_string(again) +
                          " after writing that value back");
            return;
        }
    }
}

}  // namespace drifton::fuzz
