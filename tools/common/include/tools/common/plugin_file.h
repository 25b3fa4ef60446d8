// Finding and opening the plug-in file a tool drives.
#pragma once

#include <memory>
#include <string>

#include "host/vst_host.h"

namespace tools {

// The plug-in's place in an installation, relative to the running executable
// (<prefix>/bin/tool -> <prefix>/lib/vst/KqDrifton.so), and in the build tree.
std::string installedPluginPath();
std::string buildTreePluginPath();
// The installed plug-in if it exists, else the build tree's; throws ToolError
// naming both when neither exists.
std::string defaultPluginPath();

// A loaded library and one instance created through its entry point.
struct OpenPlugin {
    std::unique_ptr<vsthost::PluginLibrary> library;
    std::unique_ptr<vsthost::Instance> instance;
};

// Loads `path` and creates an instance on `host` through VSTPluginMain (or
// the older `main`). Throws ToolError naming the file when it does not load,
// has no entry point, refuses the host or returns a record without the magic.
OpenPlugin openPlugin(const std::string& path, vsthost::Host& host);

}  // namespace tools
