// The host suites load the shipped plug-in file.
#include "tests/host/plugin_fixture.h"

const char* pluginFileUnderTest() { return DRIFTON_PLUGIN_PATH; }
