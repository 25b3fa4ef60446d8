// Parameter values of every kind (boundaries, out of range, NaN, infinities,
// subnormals, raw bits) on every index and on indices out of range, from the
// record's setParameter, mixed with read-backs, the three parameter-text
// opcodes, text-to-value conversion and the automation query. After every
// step each parameter reads back finite, within 0..1 and stable when written
// back, and each text stays within the plug-in's own limit, terminated.
#include <string>

#include "fuzz/harness/fuzz_bytes.h"
#include "fuzz/harness/fuzz_session.h"
#include "fuzz/targets.h"

namespace drifton::fuzz {

namespace {

constexpr int kMaxSteps = 256;

constexpr VstInt32 kTextOpcodes[] = {effGetParamLabel, effGetParamDisplay, effGetParamName};

void readText(FuzzEffect& effect, VstInt32 opcode, VstInt32 index, Findings& findings) {
    LimitedBuffer buffer(writableBytes(opcode, index), nullptr, 0);
    effect.dispatch(opcode, index, 0, buffer.data(), 0.0f);
    if (const std::string problem = buffer.problem(true); !problem.empty()) {
        findings.fail("text opcode " + std::to_string(opcode) + " for index " +
                      std::to_string(index) + " " + problem);
    }
}

}  // namespace

std::string runParameters(const std::uint8_t* data, std::size_t size) {
    FuzzBytes in(data, size);
    vsthost::Host host;
    Findings findings;
    FuzzEffect effect(host, findings);
    if (!effect.isOpen()) {
        return findings.first();
    }

    for (int step = 0; step < kMaxSteps && !in.empty() && findings.ok(); ++step) {
        const std::uint8_t action = in.byte();
        const VstInt32 index = interestingIndex(in);
        switch (action % 6) {
        case 0:
        case 1:
            effect.setParameter(index, interestingFloat(in));
            // Every text of every parameter, as a host refreshing its view.
            for (VstInt32 parameter = 0; parameter < effect.record()->numParams && findings.ok();
                 ++parameter) {
                for (const VstInt32 opcode : kTextOpcodes) {
                    readText(effect, opcode, parameter, findings);
                }
            }
            break;
        case 2: {
            const float value = effect.getParameter(index);
            if (!(value >= 0.0f && value <= 1.0f)) {
                findings.fail("getParameter(" + std::to_string(index) + ") answered " +
                              std::to_string(value));
            }
            break;
        }
        case 3:
            readText(effect, kTextOpcodes[(action / 6) % 3], index, findings);
            break;
        case 4: {
            // A host's text for the value, zero-terminated; read only.
            const auto content = in.bytes(in.byte() % 32);
            LimitedBuffer text(0, content.data(), content.size());
            effect.dispatch(effString2Parameter, index, 0, text.data(), 0.0f);
            if (const std::string problem = text.problem(false); !problem.empty()) {
                findings.fail("effString2Parameter " + problem);
            }
            break;
        }
        default:
            effect.dispatch(effCanBeAutomated, index, 0, nullptr, 0.0f);
            break;
        }
        checkParameterReadBack(effect, findings);
    }
    effect.close();
    return findings.first();
}

}  // namespace drifton::fuzz
