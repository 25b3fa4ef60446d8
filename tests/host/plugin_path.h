// The plug-in file the host-level tests load: the one this build made, or the
// file named by DRIFTON_TEST_PLUGIN, so that the same tests can check an
// installed copy (for example /usr/lib/vst/KqDrifton.so from the package).
#pragma once

#include <cstdlib>

inline const char* testPluginPath() {
    const char* path = std::getenv("DRIFTON_TEST_PLUGIN");
    return path != nullptr && path[0] != '\0' ? path : DRIFTON_PLUGIN_PATH;
}
