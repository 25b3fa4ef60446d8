// DriftonVST in process, without the plug-in file, served by our host
// library's Host (attached to the effect's record), and a subclass that opens
// the effect's filter and parameter fields to tests.
#pragma once

#include "host/vst_host.h"
#include "panner/drifton_vst.h"
#include "tests/kernel_under_test.h"

class ExposedDrifton : public DriftonVST {
public:
    explicit ExposedDrifton(vsthost::Host& host)
        : DriftonVST(vsthost::Host::callback(), pantest::kernelUnderTest()) {
        host.attach(getEffectRecord());
    }

    using DriftonVST::filter;
    using DriftonVST::parameters;
};
