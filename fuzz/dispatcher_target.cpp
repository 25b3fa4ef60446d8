// Any sequence of dispatcher calls: opcodes -1..90 and raw ones, any index,
// value and opt, and ptr either null or a guarded buffer holding fuzz bytes
// (zero-terminated, as a host's text would be). effClose ends the run, since
// the record is gone after it. After every call: nothing written past what
// the plug-in may write for that opcode, its texts terminated, parameters
// read back within 0..1, and now and then a block processed and checked.
#include <algorithm>
#include <string>

#include "fuzz/harness/fuzz_bytes.h"
#include "fuzz/harness/fuzz_session.h"
#include "fuzz/targets.h"

namespace drifton::fuzz {

namespace {

constexpr int kMaxCalls = 256;
constexpr VstInt32 kProbeFrames = 32;

VstInt32 pickOpcode(FuzzBytes& in) {
    const std::uint8_t selector = in.byte();
    if (selector < 240) {
        return static_cast<VstInt32>(selector % 92) - 1;  // -1..90
    }
    return in.take<VstInt32>();
}

VstIntPtr pickValue(FuzzBytes& in) {
    const std::uint8_t selector = in.byte();
    switch (selector % 4) {
    case 0:
        return 0;
    case 1:
        return selector >> 2;
    case 2:
        return -static_cast<VstIntPtr>(selector >> 2);
    default:
        return in.take<VstIntPtr>();
    }
}

std::string describe(VstInt32 opcode, VstInt32 index, VstIntPtr value, const void* ptr, float opt) {
    return "dispatcher(opcode " + std::to_string(opcode) + ", index " + std::to_string(index) +
           ", value " + std::to_string(value) + (ptr != nullptr ? ", buffer" : ", null") +
           ", opt " + std::to_string(opt) + ")";
}

}  // namespace

std::string runDispatcher(const std::uint8_t* data, std::size_t size) {
    FuzzBytes in(data, size);
    vsthost::Host host;
    Findings findings;
    FuzzEffect effect(host, findings);

    for (int call = 0; call < kMaxCalls && !in.empty() && effect.isOpen() && findings.ok();
         ++call) {
        const VstInt32 opcode = pickOpcode(in);
        const VstInt32 index = interestingIndex(in);
        VstIntPtr value = pickValue(in);
        const float opt = interestingFloat(in);
        const std::uint8_t pointers = in.byte();
        const auto content = in.bytes(in.byte());

        LimitedBuffer buffer(writableBytes(opcode, index), content.data(), content.size());
        void* const ptr = (pointers & 1) != 0 ? buffer.data() : nullptr;
        // Two opcodes take a second pointer in value; a host passes a valid
        // one or null there, never a number.
        LimitedBuffer valueBuffer(writableBytes(opcode, index), nullptr, 0);
        if (opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement) {
            value = (pointers & 2) != 0 ? reinterpret_cast<VstIntPtr>(valueBuffer.data()) : 0;
        }
        // A chunk's size never exceeds the bytes behind ptr.
        if (opcode == effSetChunk) {
            value = ptr != nullptr
                        ? std::clamp<VstIntPtr>(value, 0, static_cast<VstIntPtr>(content.size()))
                        : 0;
        }

        effect.dispatch(opcode, index, value, ptr, opt);
        if (!effect.isOpen()) {
            break;
        }
        if (const std::string problem = buffer.problem(writesText(opcode)); !problem.empty()) {
            findings.fail(describe(opcode, index, value, ptr, opt) + " " + problem);
        }
        if (const std::string problem = valueBuffer.problem(false); !problem.empty()) {
            findings.fail(describe(opcode, index, value, ptr, opt) + " through value " + problem);
        }
        checkParameterReadBack(effect, findings);
        if ((pointers & 4) != 0) {
            processAndCheck(effect, nullptr, BufferLayout::separate, kProbeFrames,
                            TestSignal{pointers, 1.0f}, findings);
        }
    }
    effect.close();
    return findings.first();
}

}  // namespace drifton::fuzz
