// The kernel paths' objects, each compiled for its own instruction set,
// define nothing the linker could take for another object's copy: their only
// global or weak symbols are their own entries in drifton::kernel. An inline
// function of a shared header left out of line in the AVX2+FMA object (say
// std::floor in a debug build) would be a weak symbol the linker may pick for
// every caller, the baseline path's included, which would then fault on a
// CPU without AVX2.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "tests/elf_symbols.h"

namespace {

TEST(KernelPathObjects, DefineOnlyTheirEntries) {
    std::istringstream objects(DRIFTON_KERNEL_PATH_OBJECTS);  // separated by '|'
    std::string object;
    int checked = 0;
    while (std::getline(objects, object, '|')) {
        if (object.empty()) {
            continue;
        }
        const std::set<std::string> symbols = pantest::definedObjectSymbols(object.c_str());
        int entries = 0;
        for (const std::string& symbol : symbols) {
            // Names the compiler's own runtime support adds begin with two
            // underscores (sanitizers) or DW.ref. (the pointer to the
            // exception personality routine, data alike in every object); a
            // C++ function's begin with _Z.
            if (symbol.rfind("__", 0) == 0 || symbol.rfind("DW.ref.", 0) == 0) {
                continue;
            }
            EXPECT_EQ(0u, symbol.rfind("_ZN7drifton6kernel", 0))
                << object << " defines " << symbol << " outside drifton::kernel";
            ++entries;
        }
        // processX and panTargetsX.
        EXPECT_EQ(2, entries) << object;
        ++checked;
    }
    EXPECT_EQ(DRIFTON_KERNEL_PATHS_BUILT, checked);
}

}  // namespace
