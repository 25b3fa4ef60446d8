// Processing as hosts do it, and as they should not: sample rates from 8 kHz
// to 768 kHz and invalid ones, changed mid-stream; blocks of 0 to 65536
// frames and negative counts; time information missing, partly flagged, NaN,
// infinite, negative, huge, jumping, looping or rolling with the blocks;
// processing before any resume; parameters changed between blocks; in-place
// and null channel arrays. Two instances get the same calls: one always with
// separate buffers, the other with the layout under test, and their outputs
// must match to the bit.
#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "fuzz/harness/fuzz_bytes.h"
#include "fuzz/harness/fuzz_session.h"
#include "fuzz/targets.h"

namespace drifton::fuzz {

namespace {

constexpr int kMaxSteps = 64;
// Frames over all blocks of one input, to keep each run short.
constexpr std::int64_t kFrameBudget = 1 << 18;

float pickRate(FuzzBytes& in) {
    static constexpr std::array<float, 16> kRates = {
        8000.0f,   11025.0f,  22050.0f, 44100.0f,  48000.0f, 88200.0f, 96000.0f, 192000.0f,
        384000.0f, 768000.0f, 0.0f,     -44100.0f, 1.0f,     0.999f,   2.0f,     1e-30f};
    const std::uint8_t selector = in.byte();
    return selector < 192 ? kRates[selector % kRates.size()] : interestingFloat(in);
}

VstInt32 pickFrames(FuzzBytes& in) {
    static constexpr std::array<VstInt32, 14> kFrames = {0,
                                                         1,
                                                         2,
                                                         3,
                                                         64,
                                                         100,
                                                         512,
                                                         1024,
                                                         4096,
                                                         65536,
                                                         -1,
                                                         -512,
                                                         std::numeric_limits<VstInt32>::min(),
                                                         std::numeric_limits<VstInt32>::max()};
    const std::uint8_t selector = in.byte();
    if (selector < 128) {
        return kFrames[selector % kFrames.size()];
    }
    if (selector < 192) {
        return in.byte();
    }
    return in.take<std::uint16_t>();
}

float pickAmplitude(FuzzBytes& in) {
    // Finite inputs only, and none so large that the pan law's gain overflows.
    static constexpr std::array<float, 8> kAmplitudes = {1.0f,  0.0f,     1e-3f,  1e-30f,
                                                         1e30f, 1.2e-38f, 1e-40f, 100.0f};
    return kAmplitudes[in.byte() % kAmplitudes.size()];
}

double pickTempo(FuzzBytes& in) {
    static constexpr std::array<double, 12> kTempos = {120.0,  60.0, 174.0, 1.0,   999.0, 0.0,
                                                       -120.0, 1e-9, 1e9,   300.0, 20.0,  1e300};
    const std::uint8_t selector = in.byte();
    return selector < 192 ? kTempos[selector % kTempos.size()] : interestingDouble(in);
}

double pickPosition(FuzzBytes& in) {
    const std::uint8_t selector = in.byte();
    if (selector < 96) {
        return static_cast<double>(in.take<std::int16_t>()) / 16.0;  // beats, count-ins too
    }
    if (selector < 128) {
        return static_cast<double>(in.take<std::int32_t>()) * 1024.0;  // hours into a song
    }
    return interestingDouble(in);
}

void pickTime(FuzzBytes& in, vsthost::Host& host) {
    static constexpr std::array<VstInt32, 4> kFlags = {kVstPpqPosValid | kVstTempoValid,
                                                       kVstPpqPosValid, kVstTempoValid, 0};
    const std::uint8_t selector = in.byte();
    host.setTimeInfoAvailable(selector % 8 != 0);
    host.timeInfo().flags = selector < 200 ? kFlags[selector % kFlags.size()] : in.take<VstInt32>();
    host.timeInfo().ppqPos = pickPosition(in);
    host.timeInfo().tempo = pickTempo(in);
}

// Both instances get every call a host makes, so they stay in step.
struct Twins {
    FuzzEffect& reference;
    FuzzEffect& subject;

    void dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt) {
        reference.dispatch(opcode, index, value, nullptr, opt);
        subject.dispatch(opcode, index, value, nullptr, opt);
    }
    void setParameter(VstInt32 index, float value) {
        reference.setParameter(index, value);
        subject.setParameter(index, value);
    }
};

}  // namespace

std::string runProcessing(const std::uint8_t* data, std::size_t size) {
    FuzzBytes in(data, size);
    vsthost::Host host;
    Findings findings;
    FuzzEffect reference(host, findings);
    FuzzEffect subject(host, findings);
    if (!reference.isOpen() || !subject.isOpen()) {
        return findings.first();
    }
    Twins twins{reference, subject};

    float hostRate = pickRate(in);
    twins.dispatch(effSetSampleRate, 0, 0, hostRate);
    twins.dispatch(effSetBlockSize, 0, in.take<VstInt32>(), 0.0f);
    if ((in.byte() & 1) != 0) {  // some hosts never resume
        twins.dispatch(effMainsChanged, 0, 1, 0.0f);
    }
    for (VstInt32 index = 0; index < reference.record()->numParams; ++index) {
        twins.setParameter(index, interestingFloat(in));
    }
    pickTime(in, host);
    bool rolling = (in.byte() & 1) != 0;

    std::int64_t budget = kFrameBudget;
    for (int step = 0; step < kMaxSteps && !in.empty() && findings.ok(); ++step) {
        const std::uint8_t action = in.byte();
        switch (action % 8) {
        case 4:
            pickTime(in, host);
            rolling = (action & 0x80) != 0;
            break;
        case 5:
            hostRate = pickRate(in);
            twins.dispatch(effSetSampleRate, 0, 0, hostRate);
            break;
        case 6:
            twins.setParameter(interestingIndex(in), interestingFloat(in));
            break;
        case 7:
            twins.dispatch(effMainsChanged, 0, (action >> 3) & 1, 0.0f);
            break;
        default: {
            VstInt32 frames = pickFrames(in);
            if (frames > budget) {
                frames = static_cast<VstInt32>(budget);
            }
            const auto layout = static_cast<BufferLayout>(in.byte() % 5);
            const TestSignal signal{in.take<std::uint32_t>(), pickAmplitude(in)};
            processAndCheck(reference, &subject, layout, frames, signal, findings);
            if (frames > 0) {
                budget -= frames;
                // A rolling transport moves on by the block, as a host computes it.
                const double seconds = static_cast<double>(frames) / static_cast<double>(hostRate);
                const double next = host.timeInfo().ppqPos + seconds * host.timeInfo().tempo / 60.0;
                if (rolling && std::isfinite(next)) {
                    host.timeInfo().ppqPos = next;
                }
            }
            break;
        }
        }
    }
    reference.close();
    subject.close();
    return findings.first();
}

}  // namespace drifton::fuzz
