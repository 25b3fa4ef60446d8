// The kernel path a panner test run holds to the model, named on its command
// line (--kernel-path=baseline; the fastest supported path otherwise), and
// the plug-in file built for that path.
#pragma once

#include "engine/pan_block_kernel.h"
#include "host/vst_host.h"

namespace pantest {

drifton::KernelPath kernelUnderTest();

// An entry point in this process, for our host library's Instance::create:
// DriftonVST with the kernel path under test, without the plug-in file.
AEffect* inProcessEntry(audioMasterCallback callback);

}  // namespace pantest
