// What the validator's own process runs under: memory checkers and
// sanitizers change what some checks can measure.
#pragma once

namespace validate {

// True when the process runs under a memory checker whose allocator keeps
// freed blocks (AddressSanitizer, valgrind), so resident memory says nothing
// about leaks.
bool allocatorKeepsFreedMemory();
bool underValgrind();
// A sanitizer that installs its own crash handlers and allocator.
bool underSanitizer();

}  // namespace validate
