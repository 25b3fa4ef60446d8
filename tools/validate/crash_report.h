// Naming the call in a crash: the host library keeps the call in progress
// on each thread; when the plug-in crashes, the child process writes it to
// the report pipe as a 'C' line before it dies, and the parent turns it
// into words ("dispatcher effEditGetRect (opcode 13) ...").
#pragma once

#include <string>

namespace validate {

// POSIX: handlers for SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT that write
// the crashing thread's call in progress to `fd`, then let the signal end
// the process as before. Sanitizer builds keep their own handlers.
void installCrashReport(int fd);

// Writes the calling thread's call in progress to `fd` as one 'C' line,
// using only async-signal-safe calls. Nothing when no call is in progress.
void writeCallInProgress(int fd);

// The words for the fields of a 'C' line.
std::string describeCrashedCall(const std::string& fields);

}  // namespace validate
