// Reads the dynamic symbol table of the built plug-in file and checks that it
// exports exactly the two entry points and nothing else.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/elf_symbols.h"
#include "tests/plugin_fixture.h"

namespace {

TEST(ExportTable, ExportsExactlyTheTwoEntryPoints) {
    const std::set<std::string> expected = {"VSTPluginMain", "main"};
    EXPECT_EQ(expected, pantest::definedDynamicSymbols(pluginFileUnderTest()));
}

}  // namespace
