// The VST edition's audio path: the host's time record, read once per block,
// becomes the engine's transport; the engine does the rest.
#include "engine/pan_engine.h"
#include "panner/drifton_vst.h"

namespace {

constexpr VstInt32 kTimeRequest = kVstPpqPosValid | kVstTempoValid;

// What the time record says, flag by flag; the engine judges the values.
drifton::Transport transportOf(const VstTimeInfo* time) {
    drifton::Transport transport;
    if (time == nullptr) {
        return transport;
    }
    transport.playing = (time->flags & kVstTransportPlaying) != 0;
    if ((time->flags & kVstPpqPosValid) != 0) {
        transport.position = time->ppqPos;
    }
    if ((time->flags & kVstTempoValid) != 0) {
        transport.tempo = time->tempo;
    }
    return transport;
}

}  // namespace

void DriftonVST::replacingBlockSkipped() {
    // The host still sees its one time request for the block.
    getTimeInfo(kTimeRequest);
}

void DriftonVST::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    // Every parameter is read once, here: a change made on another thread
    // applies from the next block on.
    const drifton::PanSettings current = settings();
    const drifton::Transport transport = transportOf(getTimeInfo(kTimeRequest));
    engine_.process(current, transport,
                    {inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames});
}
