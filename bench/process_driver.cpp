// processReplacing, and nothing around it, for counting instructions: drives
// DriftonVST through its record's processing entry for BLOCKS blocks of
// FRAMES stereo frames on a named kernel path (or a plain copy of the same
// buffers), with a host that only answers the time query. Running it twice
// with different block counts under an instruction counter and dividing the
// difference by the extra frames gives the instructions per frame with the
// program's start and end cancelled out (scripts/aarch64-instructions.sh).
//   drifton_process_driver PATH FRAMES BLOCKS [defaults|square]
//   PATH: a kernel path name (baseline, avx2+fma, neon) or copy
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/pan_block_kernel.h"
#include "panner/drifton_vst.h"
#include "vst/vst_opcodes.h"
#include "vst/vst_records.h"

namespace {

constexpr double kRate = 44100.0;
constexpr double kTempo = 120.0;

VstTimeInfo hostTime = [] {
    VstTimeInfo info{};
    info.tempo = kTempo;
    info.sampleRate = kRate;
    info.flags = kVstPpqPosValid | kVstTempoValid;
    return info;
}();

VstIntPtr timeOnlyHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterGetTime ? reinterpret_cast<VstIntPtr>(&hostTime) : 0;
}

bool pathNamed(const std::string& name, drifton::KernelPath& path) {
    for (const drifton::KernelPath candidate : drifton::kKernelPaths) {
        if (name == drifton::kernelPathName(candidate)) {
            path = candidate;
            return drifton::kernelPathSupported(candidate);
        }
    }
    return false;
}

int usage(const char* message) {
    std::fprintf(stderr,
                 "error: %s\nusage: drifton_process_driver PATH FRAMES BLOCKS [defaults|square]\n",
                 message);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf(
            "usage: drifton_process_driver PATH FRAMES BLOCKS [defaults|square]\n"
            "Runs processReplacing BLOCKS times on FRAMES stereo frames on the kernel\n"
            "path PATH (baseline, avx2+fma, neon) or copies the buffers (copy).\n");
        return 0;
    }
    if (argc < 4 || argc > 5) {
        return usage("expected PATH FRAMES BLOCKS [defaults|square]");
    }
    const std::string pathName = argv[1];
    const int frames = std::atoi(argv[2]);
    const int blocks = std::atoi(argv[3]);
    const std::string setting = argc == 5 ? argv[4] : "defaults";
    if (frames <= 0 || frames > 65536 || blocks < 0) {
        return usage("FRAMES must be 1..65536 and BLOCKS at least 0");
    }
    if (setting != "defaults" && setting != "square") {
        return usage("the setting must be defaults or square");
    }
    const bool copyOnly = pathName == "copy";
    drifton::KernelPath path = drifton::KernelPath::kBaseline;
    if (!copyOnly && !pathNamed(pathName, path)) {
        std::fprintf(stderr, "error: kernel path '%s' is not built or not supported here\n",
                     pathName.c_str());
        return 2;
    }

    const auto count = static_cast<std::size_t>(frames);
    std::vector<float> inLeft(count), inRight(count), outLeft(count), outRight(count);
    unsigned state = 1;
    for (std::size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        inLeft[i] = static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
        inRight[i] = -inLeft[i];
    }
    float* inputs[] = {inLeft.data(), inRight.data()};
    float* outputs[] = {outLeft.data(), outRight.data()};

    DriftonVST effect(&timeOnlyHost, path);
    if (setting == "square") {
        effect.setParameter(drifton::kWaveShape, 1.0f);  // square
        effect.setParameter(drifton::kPeriod, 0.0f);     // 1/1
    }
    AEffect* record = effect.getEffectRecord();
    double checksum = 0.0;
    for (int b = 0; b < blocks; ++b) {
        if (copyOnly) {
            std::memcpy(outputs[0], inputs[0], count * sizeof(float));
            std::memcpy(outputs[1], inputs[1], count * sizeof(float));
        } else {
            record->processReplacing(record, inputs, outputs, frames);
        }
        checksum += static_cast<double>(outLeft[count - 1]);
        hostTime.ppqPos += frames * (kTempo / 60.0) / kRate;
    }
    // Printed so that the work cannot be dropped.
    std::printf("%s %d x %d frames, checksum %.9g\n", pathName.c_str(), blocks, frames, checksum);
    return 0;
}
