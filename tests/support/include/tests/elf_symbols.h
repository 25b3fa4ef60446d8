// The exported symbols of a built ELF file, read from its dynamic symbol
// table, for the tests that check what a plug-in file exports.
#pragma once

#include <set>
#include <string>

namespace pantest {

// Names of the defined global or weak symbols of the file's .dynsym; a
// problem with the file is reported as a test failure and leaves the set
// as far as it got.
std::set<std::string> definedDynamicSymbols(const char* path);

}  // namespace pantest
