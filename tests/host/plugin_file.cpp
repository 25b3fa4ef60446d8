// The host suites load the shipped plug-in file: the one this build made, or
// the file named by DRIFTON_TEST_PLUGIN, so that the same tests can check an
// installed or packaged copy (for example /usr/lib/vst/KqDrifton.so).
#include <cstdlib>

#include "tests/plugin_fixture.h"

const char* pluginFileUnderTest() {
    const char* path = std::getenv("DRIFTON_TEST_PLUGIN");
    return path != nullptr && path[0] != '\0' ? path : DRIFTON_PLUGIN_PATH;
}
