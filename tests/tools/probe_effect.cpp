// A stereo test effect for the render tool's tests. It passes audio through
// and logs, for every block, the frame count, the host time it was given and
// its one parameter ("Depth", shown as a whole percentage). Like many
// third-party plug-ins it names, shows and takes its parameter only once the
// host has opened it (effOpen). Built in three variants: stereo, one input
// only, and without the entry point.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "probe_log.h"
#include "vst/vst_opcodes.h"
#include "vst/vst_records.h"

namespace {

std::vector<ProbeBlock> blocks;
audioMasterCallback hostCallback = nullptr;
float depth = 0.5f;
bool opened = false;

// As strncpy with a count of 8 and a zero byte at position 8: 9 bytes written.
void copyText(void* ptr, const std::string& text) {
    char* out = static_cast<char*>(ptr);
    const std::size_t length = text.size() < 8 ? text.size() : 8;
    std::memcpy(out, text.data(), length);
    std::memset(out + length, 0, 9 - length);
}

VstIntPtr dispatcher(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    if (opcode == effOpen) {
        opened = true;
        return 0;
    }
    if (opcode == effClose) {
        opened = false;
        return 0;
    }
    if (!opened) {
        return 0;  // not open yet: no texts
    }
    switch (opcode) {
    case effGetParamName:
        copyText(ptr, "Depth");
        return 0;
    case effGetParamLabel:
        copyText(ptr, "%");
        return 0;
    case effGetParamDisplay:
        copyText(ptr, std::to_string(static_cast<int>(depth * 100.0f)));
        return 0;
    case effGetEffectName:
    case effGetProductString:
        copyText(ptr, "Probe");
        return 1;
    default:
        return 0;
    }
}

void setParameter(AEffect*, VstInt32 index, float value) {
    if (index == 0 && opened) {
        depth = value;
    }
}

float getParameter(AEffect*, VstInt32 index) { return index == 0 ? depth : 0.0f; }

void processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
    ProbeBlock block{};
    block.frames = frames;
    block.depth = depth;
    const auto* time = reinterpret_cast<const VstTimeInfo*>(hostCallback(
        effect, audioMasterGetTime, 0, kVstPpqPosValid | kVstTempoValid, nullptr, 0.0f));
    block.hadTime = time != nullptr;
    if (time != nullptr) {
        block.ppqPos = time->ppqPos;
        block.tempo = time->tempo;
        block.flags = time->flags;
    }
    blocks.push_back(block);
    for (VstInt32 i = 0; i < frames; ++i) {
        outputs[0][i] = inputs[0][i];
        outputs[1][i] = inputs[PROBE_INPUTS - 1][i];
    }
}

AEffect record{};

}  // namespace

extern "C" __attribute__((visibility("default"))) const ProbeBlock* probeBlocks(
    std::size_t* count) {
    *count = blocks.size();
    return blocks.data();
}

extern "C" __attribute__((visibility("default"))) void probeReset() {
    blocks.clear();
    depth = 0.5f;
    opened = false;
}

// The variant without an entry point exports it under another name.
#ifdef PROBE_WITHOUT_ENTRY
#define PROBE_ENTRY probeEntryUnderAnotherName
#else
#define PROBE_ENTRY VSTPluginMain
#endif

extern "C" __attribute__((visibility("default"))) AEffect* PROBE_ENTRY(audioMasterCallback host) {
    hostCallback = host;
    record = AEffect{};
    record.magic = kEffectMagic;
    record.dispatcher = dispatcher;
    record.setParameter = setParameter;
    record.getParameter = getParameter;
    record.processReplacing = processReplacing;
    record.numPrograms = 1;
    record.numParams = 1;
    record.numInputs = PROBE_INPUTS;
    record.numOutputs = 2;
    record.flags = effFlagsCanReplacing;
    record.uniqueID = fourCharCode('p', 'r', 'o', 'b');
    return &record;
}
