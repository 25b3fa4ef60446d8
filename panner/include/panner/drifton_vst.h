// DriftonVST: a tempo-synchronised stereo auto-panner, two in and two out.
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/audio_effect_x.h"
#include "engine/pan_block_kernel.h"
#include "engine/parameter_table.h"
#include "engine/smoothing_filter.h"
#include "engine/sweep_clock.h"

class DriftonVST : public AudioEffectX {
public:
    static constexpr VstInt32 kNumPrograms = 1;
    static constexpr VstInt32 kNumParams = drifton::kParameterCount;

    // Builds the record (2 in, 2 out, "rpvn"), initial parameters and the
    // smoothing filter's coefficients for 44100 Hz. No host call. Blocks run
    // through `kernel`, a supported path: the fastest unless a test or a
    // benchmark names one.
    explicit DriftonVST(audioMasterCallback callback,
                        drifton::KernelPath kernel = drifton::fastestKernelPath());
    ~DriftonVST() override = default;

    // [audio-thread] Pans inputs 0/1 into outputs 0/1 (sampleFrames > 0 and
    // all four channels present, as the framework's boundary guarantees).
    // Asks the host for its transport once per block; no other call, no
    // allocation, no lock.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    // [audio-thread] A block without frames or channels: only the time request.
    void replacingBlockSkipped() override;

    // [dispatcher-thread] Store the rate as the base classes do, and remember
    // it for processing when it is a usable rate (finite and above zero).
    void setSampleRate(float rate) override;
    void setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newSampleRate) override;
    double updateSampleRate() override;

    // [any-thread] Values are clamped into 0..1; NaN and infinities are
    // ignored, so no field ever leaves its range.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    // [dispatcher-thread] Texts written with the limits hosts expect.
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;

    // [dispatcher-thread] Identity texts, limit 24 characters; answer true.
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;

protected:
    void rememberProcessingRate(float rate);

    // periodIndex, waveShape, width and phaseShift: written by setParameter
    // on any thread and read by processReplacing once per block.
    drifton::ParameterFields parameters;
    // The smoothing filter (a0..b2, x1, x2, y1, y2): coefficients fixed at
    // construction for 44100 Hz, history touched by processReplacing alone.
    drifton::SmoothingFilter filter;
    const drifton::KernelPath kernelPath;
    // The last usable sample rate, the one processing runs at.
    std::atomic<float> processingRate;
    // Where the sweep got to, for blocks without a moving song position;
    // touched by processReplacing alone.
    drifton::SweepClock sweepClock;
};
