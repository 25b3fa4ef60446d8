// A VST 2.4 probe for the Ardour time measurement: stereo pass-through that
// asks the host for its time at every block and keeps what it gets in a buffer
// reserved when it is created; it writes them as text when the host closes
// it, to $DRIFTON_PROBE_DIR/vst.log (nothing without that variable).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vst/vst_opcodes.h"
#include "vst/vst_records.h"

namespace {

// Time-information request bits the effect itself never reads: the bar start
// and the time signature.
constexpr VstInt32 kBarsValid = 1 << 11;
constexpr VstInt32 kTimeSigValid = 1 << 13;

struct Block {
    VstInt32 frames;
    bool hadTime;
    VstTimeInfo time;
};

audioMasterCallback hostCallback = nullptr;
std::vector<Block> blocks;
std::size_t used = 0;
std::size_t dropped = 0;

void copyText(void* ptr, const char* text, std::size_t limit) {
    std::strncpy(static_cast<char*>(ptr), text, limit);
    static_cast<char*>(ptr)[limit] = '\0';
}

void writeLog() {
    const char* dir = std::getenv("DRIFTON_PROBE_DIR");
    if (dir == nullptr) return;
    std::FILE* file = std::fopen((std::string(dir) + "/vst.log").c_str(), "w");
    if (file == nullptr) return;
    std::fprintf(file, "dropped %zu\n", dropped);
    for (std::size_t i = 0; i < used; ++i) {
        const Block& b = blocks[i];
        if (!b.hadTime) {
            std::fprintf(file, "block %zu %d none\n", i, b.frames);
            continue;
        }
        const VstTimeInfo& t = b.time;
        std::fprintf(file,
                     "block %zu %d samplePos %.17g ppqPos %.17g tempo %.17g barStartPos %.17g "
                     "timeSig %d/%d flags %d\n",
                     i, b.frames, t.samplePos, t.ppqPos, t.tempo, t.barStartPos, t.timeSigNumerator,
                     t.timeSigDenominator, t.flags);
    }
    std::fclose(file);
}

VstIntPtr dispatcher(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    switch (opcode) {
    case effClose:
        writeLog();
        blocks.clear();
        blocks.shrink_to_fit();
        return 0;
    case effGetEffectName:
    case effGetProductString:
        copyText(ptr, "Drifton Time Probe", kVstMaxEffectNameLen);
        return 1;
    case effGetVendorString:
        copyText(ptr, "K'q Lum-vee", kVstMaxVendorStrLen);
        return 1;
    default:
        return 0;
    }
}

void setParameter(AEffect*, VstInt32, float) {}
float getParameter(AEffect*, VstInt32) { return 0.0f; }

void processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
    const auto* time = reinterpret_cast<const VstTimeInfo*>(
        hostCallback(effect, audioMasterGetTime, 0,
                     kVstPpqPosValid | kVstTempoValid | kBarsValid | kTimeSigValid, nullptr, 0.0f));
    if (used < blocks.size()) {
        blocks[used++] = Block{frames, time != nullptr, time != nullptr ? *time : VstTimeInfo{}};
    } else {
        ++dropped;
    }
    for (int c = 0; c < 2; ++c) {
        if (inputs[c] != outputs[c])
            std::memmove(outputs[c], inputs[c], sizeof(float) * static_cast<std::size_t>(frames));
    }
}

AEffect record{};

}  // namespace

// Host's loading thread, once per instance: the probe's record (one instance at a time).
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) {
    hostCallback = host;
    blocks.assign(1u << 16, Block{});
    used = 0;
    dropped = 0;
    record = AEffect{};
    record.magic = kEffectMagic;
    record.dispatcher = dispatcher;
    record.setParameter = setParameter;
    record.getParameter = getParameter;
    record.processReplacing = processReplacing;
    record.numPrograms = 1;
    record.numInputs = 2;
    record.numOutputs = 2;
    record.flags = effFlagsCanReplacing;
    record.uniqueID = fourCharCode('D', 't', 'p', 'r');
    return &record;
}
