// Output files that appear whole or not at all: the tool writes a temporary
// file beside the target and renames it over the target only on success.
#pragma once

#include <string>

namespace tools {

class PendingOutput {
public:
    // Creates the temporary file beside `target`. Throws ToolError naming the
    // target when its folder does not exist or is not writable, or when the
    // target is a folder.
    explicit PendingOutput(std::string target);
    // Removes the temporary file unless commit() succeeded.
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    const std::string& target() const { return target_; }
    const std::string& temporaryPath() const { return temporary_; }
    // Renames the temporary file over the target.
    void commit();

private:
    std::string target_;
    std::string temporary_;
    bool committed_ = false;
};

// True when both paths name the same existing file (through links too).
bool sameFile(const std::string& a, const std::string& b);

#if defined(_WIN32)
// A UTF-8 text as the wide text the Windows file and process functions take.
std::wstring wide(const std::string& text);
#endif

// SIGINT and SIGTERM set a flag that long work polls through interrupted(),
// so the work can stop and clean up; a second signal ends the process at once.
void installInterruptFlag();
bool interrupted();

}  // namespace tools
