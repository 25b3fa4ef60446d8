// Counts allocator and common libc calls made on a thread while it is inside
// processReplacing. Plain builds replace malloc and friends and a set of libc
// entry points in the validator's executable (the plug-in, loaded later,
// binds to them); sanitizer builds keep the sanitizer's own and count nothing,
// and so does the Windows build, whose plug-ins do not bind to the executable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace validate::rt {

bool available();
// Why calls are not counted, when available() is false.
const char* unavailableReason();

// Entered and left around each processReplacing call; the host callback
// pauses counting so the validator's own answers are not counted.
void enterAudioCall();
void leaveAudioCall();
void pauseInCallback();
void resumeAfterCallback();

void reset();
// "malloc x3, write x1", empty when nothing was counted.
std::string summary();
std::uint64_t total();

}  // namespace validate::rt
