#include "tools/common/output_file.h"

#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/common/cli.h"

namespace tools {

namespace {

volatile std::sig_atomic_t interruptFlag = 0;

// The first signal asks the work to stop; a second one ends the process.
extern "C" void onInterrupt(int signal) {
    if (interruptFlag != 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    interruptFlag = 1;
}

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

}  // namespace

PendingOutput::PendingOutput(std::string target) : target_(std::move(target)) {
    struct stat info {};
    if (::stat(target_.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        throw ToolError(quoted(target_) + ": is a folder, not a file");
    }
    const std::string folder = folderOf(target_);
    std::string pattern = folder + "/." + nameOf(target_) + ".partial-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0) {
        throw ToolError(quoted(target_) + ": cannot write in folder " + quoted(folder) + ": " +
                        std::strerror(errno));
    }
    temporary_ = buffer.data();
#if defined(_WIN32)
    ::_close(fd);
}

PendingOutput::~PendingOutput() {
    if (!committed_) {
        ::_unlink(temporary_.c_str());
    }
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
    if (!MoveFileExW(wide(temporary_).c_str(), wide(target_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        throw ToolError(quoted(target_) + ": cannot replace (error " +
                        std::to_string(GetLastError()) + ")");
    }
    committed_ = true;
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
    // mkstemp makes the file private; give it the permissions a new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
}

PendingOutput::~PendingOutput() {
    if (!committed_) {
        ::unlink(temporary_.c_str());
    }
}

void PendingOutput::commit() {
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        throw ToolError(quoted(target_) + ": cannot replace: " + std::strerror(errno));
    }
    committed_ = true;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

void installInterruptFlag() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
#endif

bool interrupted() { return interruptFlag != 0; }

}  // namespace tools
