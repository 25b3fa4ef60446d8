// What the validator needs from the operating system, one implementation per
// platform (platform_posix.cpp, platform_windows.cpp): running a task in a
// child process with a time limit (its standard output and error captured),
// the report channel and the resident memory of this process.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "validate/validator.h"

namespace validate {

// What a finished child left behind.
struct ChildOutcome {
    std::vector<std::pair<char, std::string>> lines;
    bool timedOut = false;
    int crash = 0;            // the signal or exception that ended it; 0: none
    bool unfinished = false;  // ended quietly before its task was done
    int exitStatus = 0;
    double seconds = 0.0;
    CapturedOutput output;  // what the child wrote to its standard output and error
};

// Runs `task` ("identify" or a check's name) in a child process that reports
// through a pipe, one "K\ttext" line per message. On POSIX the child is a
// fork running `body`; on Windows it is this program started again with the
// hidden option --child, which runs runTask() instead.
ChildOutcome runChild(const std::string& task, const Options& options,
                      const std::function<void(int fd)>& body);

// Splits complete lines off `pending` into `lines`.
void takeLines(std::string& pending, std::vector<std::pair<char, std::string>>& lines);

// "SIGSEGV (Segmentation fault)" or "exception 0xc0000005 (access violation)".
std::string crashText(int crash);

// One write of a whole report line, so that it arrives whole.
void writeReport(int fd, const std::string& line);

// Summarises a file of captured output: line count, the first and the last
// few lines, reading it once with bounded memory.
CapturedOutput summariseOutput(std::FILE* file);

// Resident set (working set on Windows) of this process in KiB.
long residentKiB();

#if defined(_WIN32)
// The child side of runChild on Windows: runs the task, reporting through the
// inherited pipe `reportHandle`, and ends the process. Returns only on a
// usage error.
int childMain(const std::string& task, const std::string& reportHandle, const Options& options);
#endif

}  // namespace validate
