// drifton-instructions: runs one subject for a fixed number of blocks so that
// valgrind's callgrind can count its instructions (scripts/instructions.sh
// runs it for every kernel path, setting and block size). The subjects:
//   effect  processReplacing through the effect record, as a host calls it,
//           with a host callback that only answers the time query;
//   copy    a plain copy of the same buffers;
//   model   the straightforward per-sample model.
// Each subject's per-block work sits in one function the script names to
// callgrind (processReplacingThunk, copyBuffers, PanModel::process), so the
// count is the subject's own and not the driver's.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/pan_block_kernel.h"
#include "engine/pan_oscillator.h"
#include "engine/parameter_table.h"
#include "model/pan_model.h"
#include "panner/drifton_vst.h"
#include "stereo_buffers.h"
#include "vst/vst_opcodes.h"
#include "vst/vst_records.h"

namespace {

constexpr double kRate = 44100.0;
constexpr double kTempo = 120.0;

VstTimeInfo hostTime = [] {
    VstTimeInfo info{};
    info.tempo = kTempo;
    info.flags = kVstPpqPosValid | kVstTempoValid;
    return info;
}();

VstIntPtr timeOnlyHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterGetTime ? reinterpret_cast<VstIntPtr>(&hostTime) : 0;
}

// A host's transport: advances by one block, looping over 64 bars.
void advance(int frames) {
    hostTime.ppqPos += frames * (kTempo / 60.0) / kRate;
    if (hostTime.ppqPos >= 256.0) {
        hostTime.ppqPos -= 256.0;
    }
}

struct Options {
    std::string subject = "effect";
    std::string path = "baseline";
    std::string setting = "defaults";
    int frames = 512;
    int blocks = 256;
};

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: drifton-instructions [--subject=effect|copy|model]\n"
                 "           [--path=baseline|avx2+fma|neon]\n"
                 "           [--setting=defaults|square-whole|triplet]\n"
                 "           [--frames=N] [--blocks=N]\n"
                 "Processes N blocks of white noise with one subject, for counting its\n"
                 "instructions under callgrind (see scripts/instructions.sh).\n"
                 "  --subject  effect (processReplacing, default), copy or model\n"
                 "  --path     kernel path of the effect (default baseline)\n"
                 "  --setting  defaults, square-whole (the square shape at 1/1) or\n"
                 "             triplet (the defaults at 1/12, a cycle not a power of two)\n"
                 "  --frames   frames per block, 1..65536 (default 512)\n"
                 "  --blocks   number of blocks, 1..1000000 (default 256)\n");
}

bool parseCount(const char* text, int low, int high, int& out) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) {
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

bool knownPath(const std::string& name, drifton::KernelPath& path) {
    for (const drifton::KernelPath p : drifton::kKernelPaths) {
        if (name == drifton::kernelPathName(p)) {
            path = p;
            return true;
        }
    }
    return false;
}

[[gnu::noinline]] void copyBuffers(const Buffers& b, int frames) {
    const std::size_t bytes = static_cast<std::size_t>(frames) * sizeof(float);
    std::memcpy(b.outputs[0], b.inputs[0], bytes);
    std::memcpy(b.outputs[1], b.inputs[1], bytes);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : arg.substr(equals + 1);
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        }
        if (equals == std::string::npos) {
            std::fprintf(stderr, "drifton-instructions: unknown option '%s' (see --help)\n",
                         argv[i]);
            return 2;
        }
        if (name == "--subject") {
            o.subject = value;
        } else if (name == "--path") {
            o.path = value;
        } else if (name == "--setting") {
            o.setting = value;
        } else if (name == "--frames" || name == "--blocks") {
            const bool frames = name == "--frames";
            const int high = frames ? 65536 : 1000000;
            if (!parseCount(value.c_str(), 1, high, frames ? o.frames : o.blocks)) {
                std::fprintf(stderr, "drifton-instructions: %s must be 1..%d, not '%s'\n",
                             name.c_str(), high, value.c_str());
                return 2;
            }
        } else {
            std::fprintf(stderr, "drifton-instructions: unknown option '%s' (see --help)\n",
                         argv[i]);
            return 2;
        }
    }
    if (o.subject != "effect" && o.subject != "copy" && o.subject != "model") {
        std::fprintf(stderr,
                     "drifton-instructions: --subject must be effect, copy or model, not '%s'\n",
                     o.subject.c_str());
        return 2;
    }
    if (o.setting != "defaults" && o.setting != "square-whole" && o.setting != "triplet") {
        std::fprintf(stderr,
                     "drifton-instructions: --setting must be defaults, square-whole or triplet, "
                     "not '%s'\n",
                     o.setting.c_str());
        return 2;
    }
    drifton::KernelPath path = drifton::KernelPath::kBaseline;
    if (!knownPath(o.path, path)) {
        std::fprintf(stderr,
                     "drifton-instructions: --path must be baseline, avx2+fma or neon, not '%s'\n",
                     o.path.c_str());
        return 2;
    }
    if (o.subject == "effect" && !drifton::kernelPathSupported(path)) {
        std::fprintf(stderr, "drifton-instructions: this CPU does not run the %s path\n",
                     o.path.c_str());
        return 3;
    }
    const bool squareWhole = o.setting == "square-whole";
    constexpr int kTripletPeriod = 6;  // 1/12 in PeriodTable
    const bool triplet = o.setting == "triplet";

    Buffers buffers(o.frames);
    if (o.subject == "effect") {
        DriftonVST effect(&timeOnlyHost, path);
        if (squareWhole) {
            effect.setParameter(drifton::kWaveShape, 1.0f);  // square
            effect.setParameter(drifton::kPeriod, 0.0f);     // 1/1
        }
        if (triplet) {
            effect.setParameter(drifton::kPeriod,
                                static_cast<float>(kTripletPeriod) /
                                    static_cast<float>(drifton::PeriodTable.size() - 1));
        }
        AEffect* record = effect.getEffectRecord();
        for (int block = 0; block < o.blocks; ++block) {
            record->processReplacing(record, buffers.inputs, buffers.outputs, o.frames);
            advance(o.frames);
        }
    } else if (o.subject == "copy") {
        for (int block = 0; block < o.blocks; ++block) {
            copyBuffers(buffers, o.frames);
        }
    } else {
        PanModel model;
        if (squareWhole) {
            model.waveShape = drifton::kSquare;
            model.periodIndex = 0;
        }
        if (triplet) {
            model.periodIndex = kTripletPeriod;
        }
        for (int block = 0; block < o.blocks; ++block) {
            model.process(HostTime{hostTime.ppqPos, hostTime.tempo, false}, buffers.inputs[0],
                          buffers.inputs[1], buffers.outputs[0], buffers.outputs[1], o.frames);
            advance(o.frames);
        }
    }
    // Keeps the outputs alive, and lets a reader see that something ran.
    double sum = 0.0;
    for (const float v : buffers.outLeft) {
        sum += static_cast<double>(v);
    }
    std::printf("%s %s %s %d x %d frames, output sum %.6g\n", o.subject.c_str(), o.path.c_str(),
                o.setting.c_str(), o.blocks, o.frames, sum);
    return 0;
}
