// Loading plug-in files with the host library (dlopen, or LoadLibrary on
// Windows): what cannot be loaded gives no library and a reason naming the
// file, and names the file does not export give no entry point.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "host/vst_host.h"
#include "tests/plugin_fixture.h"

namespace {

struct UnloadableFile {
    const char* what;
    const char* path;
    const char* contents;  // null: the file does not exist
};

TEST(PluginLibrary, AFileThatCannotBeLoadedGivesAReasonNamingIt) {
    const UnloadableFile cases[] = {
        {"missing", "no-such-plugin.bin", nullptr},
        {"not a library", "not-a-plugin.bin", "plain text, not a shared library\n"},
    };
    for (const UnloadableFile& file : cases) {
        std::remove(file.path);
        if (file.contents != nullptr) {
            std::ofstream(file.path, std::ios::binary) << file.contents;
        }
        std::string error;
        // A path with a folder, so that neither loader searches elsewhere.
        const std::string path = std::string("./") + file.path;
        EXPECT_EQ(nullptr, vsthost::PluginLibrary::open(path, &error)) << file.what;
        EXPECT_NE(std::string::npos, error.find(file.path)) << file.what << ": " << error;
        std::remove(file.path);
    }
}

TEST(PluginLibrary, OnlyExportedNamesAreEntryPoints) {
    std::string error;
    const auto library = vsthost::PluginLibrary::open(pluginFileUnderTest(), &error);
    ASSERT_NE(nullptr, library) << error;
    for (const char* name : {"VSTPluginMain", "main"}) {
        EXPECT_NE(nullptr, library->entryPoint(name)) << name;
    }
    for (const char* name : {"NoSuchEntry", "vstpluginmain", "VSTPluginMain2", ""}) {
        EXPECT_EQ(nullptr, library->entryPoint(name)) << name;
    }
}

}  // namespace
