// Runs the built plug-in file over a scenario, block by block as a VST host
// would, with the host's time record made from the driver's block time.
#pragma once

#include "host/vst_host.h"
#include "tests/block_driver.h"

namespace pantest {

// The time record a VST host hands the plug-in for a block: null in
// TimeMode::kNullRecord, otherwise flagged as the scenario reports.
const VstTimeInfo* timeRecordFor(const Scenario& s, const BlockTime& time, VstTimeInfo& info);

// Output of the plug-in file (a fresh instance).
Stereo runPlugin(vsthost::EntryPoint entry, vsthost::Host& host, const Scenario& s,
                 const Stereo& input);

}  // namespace pantest
