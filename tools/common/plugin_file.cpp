#include "tools/common/plugin_file.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <array>

#include "tools/common/cli.h"

namespace tools {

namespace {

#if defined(_WIN32)

bool exists(const std::string& path) { return ::_access(path.c_str(), 0) == 0; }

}  // namespace

// Windows installs keep the plug-in beside the tool.
std::string installedPluginPath() {
    std::array<wchar_t, 4096> buffer{};
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) {
        return {};
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer.data(), static_cast<int>(length),
                                          nullptr, 0, nullptr, nullptr);
    std::string exe(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, buffer.data(), static_cast<int>(length), exe.data(), bytes,
                        nullptr, nullptr);
    const auto slash = exe.find_last_of("/\\");
    return exe.substr(0, slash == std::string::npos ? 0 : slash + 1) + "KqDrifton.dll";
}

#else

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

}  // namespace

std::string installedPluginPath() {
    std::array<char, 4096> buffer{};
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) {
        return {};
    }
    std::string exe(buffer.data(), static_cast<std::size_t>(length));
    const auto slash = exe.rfind('/');
    return exe.substr(0, slash == std::string::npos ? 0 : slash) + "/../lib/vst/KqDrifton.so";
}

#endif

#if defined(DRIFTON_BUILD_PLUGIN_PATH)
std::string buildTreePluginPath() { return DRIFTON_BUILD_PLUGIN_PATH; }
#else
std::string buildTreePluginPath() { return {}; }  // a tool built on its own
#endif

std::string defaultPluginPath() {
    const std::string installed = installedPluginPath();
    if (!installed.empty() && exists(installed)) {
        return installed;
    }
    if (!buildTreePluginPath().empty() && exists(buildTreePluginPath())) {
        return buildTreePluginPath();
    }
    throw ToolError("no plug-in found at " + quoted(installed) +
                    (buildTreePluginPath().empty() ? "" : " or " + quoted(buildTreePluginPath())) +
                    "; name one with --plugin");
}

OpenPlugin openPlugin(const std::string& path, vsthost::Host& host) {
    OpenPlugin plugin;
    if (!exists(path)) {
        throw ToolError(quoted(path) + ": no such file");
    }
    std::string error;
    plugin.library = vsthost::PluginLibrary::open(path, &error);
    if (plugin.library == nullptr) {
        throw ToolError(quoted(path) + ": cannot load: " + error);
    }
    vsthost::EntryPoint entry = plugin.library->entryPoint("VSTPluginMain");
    if (entry == nullptr) {
        entry = plugin.library->entryPoint("main");
    }
    if (entry == nullptr) {
        throw ToolError(quoted(path) + ": not a VST 2.4 plug-in (no VSTPluginMain entry point)");
    }
    plugin.instance = vsthost::Instance::create(entry, host);
    if (plugin.instance == nullptr) {
        throw ToolError(quoted(path) + ": the entry point returned no effect");
    }
    if (plugin.instance->record()->magic != kEffectMagic) {
        // Not an effect record: do not call through it, not even to close it.
        static_cast<void>(plugin.instance.release());
        throw ToolError(quoted(path) +
                        ": the entry point returned a record without the effect magic");
    }
    return plugin;
}

}  // namespace tools
