#include "tools/common/output_file.h"

#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <sys/time.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/common/cli.h"

namespace tools {

namespace {

volatile std::sig_atomic_t interruptFlag = 0;
volatile std::sig_atomic_t interruptSignal = 0;

// Temporary files to remove when a signal ends the process: fixed storage,
// so that the handler touches no allocator.
constexpr int kCleanupSlots = 8;
#if defined(PATH_MAX)
constexpr std::size_t kCleanupPathBytes = PATH_MAX;
#else
constexpr std::size_t kCleanupPathBytes = 4096;
#endif
char cleanupPaths[kCleanupSlots][kCleanupPathBytes];
volatile std::sig_atomic_t cleanupUsed[kCleanupSlots] = {};

int registerCleanup(const std::string& path) {
    if (path.size() >= kCleanupPathBytes) {
        return -1;
    }
    for (int slot = 0; slot < kCleanupSlots; ++slot) {
        if (cleanupUsed[slot] == 0) {
            std::memcpy(cleanupPaths[slot], path.c_str(), path.size() + 1);
            cleanupUsed[slot] = 1;
            return slot;
        }
    }
    return -1;
}

void unregisterCleanup(int slot) {
    if (slot >= 0) {
        cleanupUsed[slot] = 0;
    }
}

// Async-signal-safe: unlink only.
void removeTemporaryFiles() {
    for (int slot = 0; slot < kCleanupSlots; ++slot) {
        if (cleanupUsed[slot] != 0) {
#if defined(_WIN32)
            ::_unlink(cleanupPaths[slot]);
#else
            ::unlink(cleanupPaths[slot]);
#endif
            cleanupUsed[slot] = 0;
        }
    }
}

// Removes the temporary files and ends the process by `signal` itself, so
// the parent sees what ended it.
void endBySignal(int signal) {
    removeTemporaryFiles();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// The first signal asks the work to stop; a second one ends the process.
extern "C" void onInterrupt(int signal) {
    if (interruptFlag != 0) {
        endBySignal(signal);
        return;
    }
    interruptFlag = 1;
    interruptSignal = signal;
#if !defined(_WIN32)
    // The watchdog: work that does not poll the flag in time is ended.
    itimerval timer{};
    timer.it_value.tv_usec = 500000;
    ::setitimer(ITIMER_REAL, &timer, nullptr);
#endif
}

#if !defined(_WIN32)
// The watchdog of an interrupt, or SIGALRM from elsewhere. (When SIGALRM
// was ignored from the start, the watchdog is off: the work still polls.)
extern "C" void onAlarm(int signal) {
    if (interruptFlag != 0 && interruptSignal != 0) {
        static const char message[] = "\ninterrupted\n";
        static_cast<void>(::write(STDERR_FILENO, message, sizeof message - 1));
        endBySignal(interruptSignal);
        return;
    }
    endBySignal(signal);
}

extern "C" void onTerminatingSignal(int signal) { endBySignal(signal); }
#endif

#if defined(_WIN32)
constexpr const char* kSeparators = "/\\";
#else
constexpr const char* kSeparators = "/";
#endif

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of(kSeparators);
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.find_last_of(kSeparators);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string temporaryPattern(const std::string& path) {
    return folderOf(path) + "/." + nameOf(path) + ".partial-XXXXXX";
}

}  // namespace

#if defined(_WIN32)

PendingOutput::PendingOutput(std::string target) : target_(std::move(target)) {
    resolved_ = target_;
    struct stat info {};
    if (::stat(target_.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        throw ToolError(quoted(target_) + ": is a folder, not a file");
    }
    if (::stat(target_.c_str(), &info) == 0 && (info.st_mode & S_IWRITE) == 0) {
        throw ToolError(quoted(target_) + ": is read-only; not replaced");
    }
    const std::string pattern = temporaryPattern(resolved_);
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0) {
        throw ToolError(quoted(target_) + ": cannot write in folder " +
                        quoted(folderOf(resolved_)) + ": " + std::strerror(errno));
    }
    temporary_ = buffer.data();
    slot_ = registerCleanup(temporary_);
    ::_close(fd);
}

PendingOutput::~PendingOutput() {
    if (!committed_) {
        ::_unlink(temporary_.c_str());
    }
    unregisterCleanup(slot_);
}

std::wstring wide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        length);
    return result;
}

// Windows' rename does not replace an existing file; MoveFileEx does.
void PendingOutput::commit() {
    if (!MoveFileExW(wide(temporary_).c_str(), wide(resolved_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        throw ToolError(quoted(target_) + ": cannot replace (error " +
                        std::to_string(GetLastError()) + ")");
    }
    committed_ = true;
    unregisterCleanup(slot_);
    slot_ = -1;
}

namespace {

// Volume and file index: what an inode number is on Linux. False when the
// file cannot be opened.
bool fileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE file =
        CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return known;
}

}  // namespace

// Windows' stat has no inode numbers.
bool sameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    return fileIdentity(a, first) && fileIdentity(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

void installInterruptFlag() {
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
}

#else

namespace {

// The file a path finally names: links followed (relative ones from the
// link's folder), up to the limit the system itself uses.
std::string resolveLinks(const std::string& target) {
    std::string path = target;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return path;
        }
        std::vector<char> buffer(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) +
                                 1);
        const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (length < 0 || static_cast<std::size_t>(length) >= buffer.size()) {
            throw ToolError(quoted(target) + ": cannot read the link: " + std::strerror(errno));
        }
        const std::string next(buffer.data(), static_cast<std::size_t>(length));
        path = !next.empty() && next[0] == '/' ? next : folderOf(path) + "/" + next;
    }
    throw ToolError(quoted(target) + ": too many levels of symbolic links");
}

}  // namespace

PendingOutput::PendingOutput(std::string target) : target_(std::move(target)) {
    resolved_ = resolveLinks(target_);
    const std::string shown =
        resolved_ == target_ ? quoted(target_) : quoted(target_) + " (-> " + resolved_ + ")";
    struct stat info {};
    const bool exists = ::stat(resolved_.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        throw ToolError(shown + ": is a folder, not a file");
    }
    if (exists && !S_ISREG(info.st_mode)) {
        throw ToolError(shown + ": is not a regular file; name a file to write");
    }
    // Root may write any file; a file nobody may write is still refused.
    if (exists && (::access(resolved_.c_str(), W_OK) != 0 || (info.st_mode & 0222) == 0)) {
        throw ToolError(shown + ": is read-only; not replaced");
    }
    const std::string folder = folderOf(resolved_);
    const std::string pattern = temporaryPattern(resolved_);
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0) {
        throw ToolError(quoted(target_) + ": cannot write in folder " + quoted(folder) + ": " +
                        std::strerror(errno));
    }
    temporary_ = buffer.data();
    slot_ = registerCleanup(temporary_);
    if (exists) {
        // The replacement keeps the file's owner (where allowed) and mode.
        static_cast<void>(::fchown(fd, info.st_uid, info.st_gid));
        ::fchmod(fd, info.st_mode & 07777);
    } else {
        // mkstemp makes the file private; give it the permissions a new file gets.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    ::close(fd);
}

PendingOutput::~PendingOutput() {
    if (!committed_) {
        ::unlink(temporary_.c_str());
    }
    unregisterCleanup(slot_);
}

void PendingOutput::commit() {
    if (std::rename(temporary_.c_str(), resolved_.c_str()) != 0) {
        throw ToolError(quoted(target_) + ": cannot replace: " + std::strerror(errno));
    }
    committed_ = true;
    unregisterCleanup(slot_);
    slot_ = -1;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// A signal the process was started ignoring (SIGHUP under nohup, SIGINT and
// SIGQUIT in a shell's background job) stays ignored.
void catchUnlessIgnored(int signal, void (*handler)(int), int flags) {
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

void installInterruptFlag() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        catchUnlessIgnored(signal, onInterrupt, 0);
    }
    catchUnlessIgnored(SIGALRM, onAlarm, 0);
    // Once only: a crash inside the handler takes the default action.
    for (const int signal : {SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ, SIGVTALRM,
                             SIGPROF, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
        catchUnlessIgnored(signal, onTerminatingSignal, static_cast<int>(SA_RESETHAND));
    }
}

#endif

bool interrupted() { return interruptFlag != 0; }

}  // namespace tools
