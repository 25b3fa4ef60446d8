// The kernel path a panner test run holds to the model, named on its command
// line (--kernel-path=baseline; the fastest supported path otherwise), and
// the plug-in file built for that path.
#pragma once

#include "panner/pan_block_kernel.h"

namespace pantest {

drifton::KernelPath kernelUnderTest();

}  // namespace pantest
