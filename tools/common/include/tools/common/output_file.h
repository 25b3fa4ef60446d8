// Output files that appear whole or not at all: the tool writes a temporary
// file beside the target and renames it over the target only on success.
//
// What a user expects of an output path:
// - a symbolic link is followed: its final target is written (created when
//   the link dangles) and the link stays a link;
// - an existing file keeps its permission bits (and, where allowed, its owner
//   and group);
// - an existing file the user may not write is refused before any work: one
//   without write permission for this user, and, since root may write
//   anything, for root one without a write bit for anyone;
// - a folder or anything else that is not a regular file is refused.
// While a temporary file exists, a terminating signal removes it (see
// installInterruptFlag).
#pragma once

#include <string>

namespace tools {

class PendingOutput {
public:
    // Checks the target and creates the temporary file beside the file that
    // will be replaced. Throws ToolError naming the target when it cannot be
    // written (see above) or its folder does not exist or is not writable.
    explicit PendingOutput(std::string target);
    // Removes the temporary file unless commit() succeeded.
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // The path as the user named it, for messages.
    const std::string& target() const { return target_; }
    // The file that commit() replaces: the target, or the final target of a link.
    const std::string& replacedPath() const { return resolved_; }
    const std::string& temporaryPath() const { return temporary_; }
    // Renames the temporary file over the replaced path.
    void commit();

private:
    std::string target_;
    std::string resolved_;
    std::string temporary_;
    int slot_ = -1;  // in the signal handler's list of files to remove
    bool committed_ = false;
};

// True when both paths name the same existing file (through links too).
bool sameFile(const std::string& a, const std::string& b);

#if defined(_WIN32)
// A UTF-8 text as the wide text the Windows file and process functions take.
std::wstring wide(const std::string& text);
#endif

// Signals. SIGINT, SIGTERM and SIGHUP (a closed terminal) set a flag that
// long work polls through interrupted(), so the work stops and cleans up; if
// it has not ended half a second later, or at a second such signal, the
// process removes its temporary files and ends at once. Every other
// terminating signal that can be caught (SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1,
// SIGUSR2, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, and the crash signals a
// faulty plug-in raises: SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) removes the
// temporary files and then takes its default action. A signal the process
// was started ignoring (nohup, a shell's background job) stays ignored.
void installInterruptFlag();
bool interrupted();

}  // namespace tools
