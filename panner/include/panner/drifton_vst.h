// DriftonVST: the VST edition of the panner, two in and two out. A thin
// binding: parameters and texts come from the engine's parameter table,
// processing from its PanEngine.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "engine/pan_engine.h"
#include "engine/parameter_table.h"
#include "framework/audio_effect_x.h"

class DriftonVST : public AudioEffectX {
public:
    static constexpr VstInt32 kNumPrograms = 1;
    static constexpr VstInt32 kNumParams = drifton::kParameterCount;

    // Builds the record (2 in, 2 out, "rpvn"), initial parameters and the
    // engine (smoothing filter for 44100 Hz). No host call. Blocks run through
    // `kernel`, a supported path: the fastest unless a test or a benchmark
    // names one.
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

    // [dispatcher-thread] Store the rate as the base classes do, and hand it
    // to the engine, which keeps it when it is usable.
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

    // [any-thread] The four fields as processing reads them at the next block.
    drifton::PanSettings settings() const;
    // The engine, for tests: its filter, rate and kernel path.
    drifton::PanEngine& engine() { return engine_; }
    const drifton::PanEngine& engine() const { return engine_; }

private:
    // Each parameter's engine field, written by setParameter on any thread and
    // read by processReplacing once per block: relaxed 32-bit atomics.
    std::array<std::atomic<float>, drifton::kParameterCount> fields_;
    // Filter, sweep clock, processing rate: touched by processReplacing alone,
    // but for the rate, which the dispatcher thread hands over.
    drifton::PanEngine engine_;
};

static_assert(std::atomic<float>::is_always_lock_free &&
              sizeof(std::atomic<float>) == sizeof(float));
