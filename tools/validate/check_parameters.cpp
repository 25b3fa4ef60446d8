// Parameters: values hosts send (0..1, the ends included) on every index,
// read-backs within 0..1, and every name, label and display judged by the
// text itself after each change. Invalid values and indices are the hostile
// check's.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "checks.h"

namespace validate {

void checkParameters(Context& context, const LoadedPlugin& plugin) {
    auto instance = startedInstance(context, plugin, 44100.0f, 1024);
    if (instance == nullptr) {
        return;
    }
    const VstInt32 count = instance->params();
    const auto declared =
        static_cast<std::size_t>(std::max(context.profile().parameterTextLimit, 0));
    std::vector<float> values = {0.0f,
                                 1.0f,
                                 0.5f,
                                 0.25f,
                                 0.75f,
                                 std::nextafter(1.0f, 0.0f),
                                 std::nextafter(0.0f, 1.0f) * 8388608.0f};
    const int randomValues = context.scaled(20, 400);
    for (int n = 0; n < randomValues; ++n) {
        values.push_back(static_cast<float>(context.rng().uniform()));
    }

    vsthost::GuardedBuffer text(kHostTextBuffer);
    int sets = 0;
    for (VstInt32 index = 0; index < count; ++index) {
        for (const float value : values) {
            const std::string set =
                "setParameter(" + std::to_string(index) + ", " + describeFloat(value) + ")";
            context.step(set);
            instance->setParameter(index, value);
            ++sets;
            for (VstInt32 read = 0; read < count; ++read) {
                const float back = instance->getParameter(read);
                if (!(back >= 0.0f && back <= 1.0f)) {
                    context.problem("getParameter(" + std::to_string(read) + ") = " +
                                    describeFloat(back) + " after " + set + ", outside 0..1");
                }
            }
            const std::pair<VstInt32, const char*> texts[] = {{effGetParamName, "name"},
                                                              {effGetParamLabel, "label"},
                                                              {effGetParamDisplay, "display"}};
            for (const auto& [opcode, what] : texts) {
                const TextProbe probe = probeText(
                    text, [&](char* buffer) { instance->dispatch(opcode, index, 0, buffer); });
                const TextVerdict verdict = judgeText(probe, kVstMaxParamStrLen, declared);
                if (!verdict.failure.empty()) {
                    context.problem("parameter " + std::to_string(index) + " " + what + " after " +
                                    set + ": " + verdict.failure);
                }
                if (!verdict.warning.empty()) {
                    context.warning("parameter " + std::to_string(index) + " " + what + ": " +
                                    verdict.warning);
                }
            }
        }
    }
    processAfterwards(context, *instance, "the parameter calls");
    context.tried(std::to_string(sets) + " parameter sets within 0..1 on " + std::to_string(count) +
                  " parameters, read-backs and texts " +
                  (declared > 0 ? "limited to " + std::to_string(declared) + " characters (" +
                                      context.profile().source + ")"
                                : std::string("judged by the text")));
}

}  // namespace validate
