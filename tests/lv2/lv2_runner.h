// Runs the LV2 bundle over a block-driver scenario as an LV2 host would: the
// driver's blocks become pieces of larger LV2 blocks, and the transport the
// driver reports for each piece goes in as a time:Position object at the
// piece's frame, in the chosen encoding and as often as the chosen host sends.
#pragma once

#include <cstdint>
#include <vector>

#include "host/lv2_host.h"
#include "tests/block_driver.h"

namespace lv2test {

// How the song position is written: time:beat, or bar, barBeat and the meter.
struct Meter {
    double beatsPerBar = 4.0;
    int beatUnit = 4;
};

enum class Sending {
    kEveryPiece,  // an object at every piece, as Ardour sends one per block
    kOnChange,    // only when the transport differs from what the plug-in keeps, as jalv does
    kEmpty,       // the atom input connected, never an event
    kUnconnected  // no atom input at all, as lv2apply runs it
};

struct HostStyle {
    Sending sending = Sending::kEveryPiece;
    bool beatKey = true;  // time:beat; otherwise bar and barBeat
    Meter meter;
    int piecesPerBlock = 1;  // driver blocks joined into one LV2 block
    bool ardourTypes = false;
    bool frameKey = false;  // time:frame, the piece's frame in the run
    // The note value time:beatsPerMinute counts: 4 for quarter notes, 8 for
    // eighths (twice the quarter-note tempo), as Ardour's tempo marker says.
    int tempoNote = 4;
};

// A time:Position saying `time` (what a VST host reports for a block) at the
// run's frame `frame`.
lv2host::TimePosition positionOf(const HostTime& time, const HostStyle& style, int frame = 0);

// What an LV2 run gave: the output, and the pieces the plug-in's engine ran
// (split at LV2 block starts and at events): a VST host reporting its
// transport at those frames is the one to compare with.
struct Lv2Run {
    pantest::Stereo out;
    std::vector<int> pieces;
};

// Output of a fresh instance over the scenario, which must not change the
// sample rate. Parameter changes start a new LV2 block.
Lv2Run runLv2(lv2host::Plugin& plugin, const pantest::Scenario& s, const pantest::Stereo& input,
              const HostStyle& style);

// The scenario with the VST blocks cut where the LV2 run's pieces were.
pantest::Scenario withBlocks(const pantest::Scenario& s, const std::vector<int>& pieces);

}  // namespace lv2test
