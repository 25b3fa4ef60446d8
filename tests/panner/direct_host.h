// Drives DriftonVST directly, without the plug-in file: a host callback that
// answers audioMasterGetTime with a record the test controls and counts what
// the effect asks, and a subclass that opens the effect's fields to tests.
#pragma once

#include <atomic>

#include "panner/drifton_vst.h"
#include "tests/support/kernel_under_test.h"
#include "vst/vst_opcodes.h"
#include "vst/vst_records.h"

namespace directhost {

// Shared by every instance made with callback(); reset() before each test.
// The record is only changed while no audio thread is running.
inline VstTimeInfo timeInfo{};
inline bool timeInfoAvailable = true;
inline VstIntPtr sampleRateAnswer = 0;
inline std::atomic<int> timeQueries{0};
inline std::atomic<VstIntPtr> lastTimeMask{0};
inline std::atomic<int> otherCalls{0};

inline void reset() {
    timeInfo = VstTimeInfo{};
    timeInfo.ppqPos = 0.0;
    timeInfo.tempo = 120.0;
    timeInfo.flags = kVstPpqPosValid | kVstTempoValid;
    timeInfoAvailable = true;
    sampleRateAnswer = 0;
    timeQueries = 0;
    lastTimeMask = 0;
    otherCalls = 0;
}

inline VstIntPtr callback(AEffect* /*effect*/, VstInt32 opcode, VstInt32 /*index*/, VstIntPtr value,
                          void* /*ptr*/, float /*opt*/) {
    if (opcode == audioMasterGetTime) {
        ++timeQueries;
        lastTimeMask = value;
        return timeInfoAvailable ? reinterpret_cast<VstIntPtr>(&timeInfo) : 0;
    }
    ++otherCalls;
    return opcode == audioMasterGetSampleRate ? sampleRateAnswer : 0;
}

}  // namespace directhost

class ExposedDrifton : public DriftonVST {
public:
    ExposedDrifton() : DriftonVST(&directhost::callback, pantest::kernelUnderTest()) {}

    using DriftonVST::filter;
    using DriftonVST::parameters;
};
