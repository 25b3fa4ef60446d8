// Windows: each task in a child process that is this program started again
// with --child, its standard output and error in a temporary file, the
// working set from the process status API.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "crash_report.h"
#include "platform.h"
#include "tools/common/output_file.h"

namespace validate {

namespace {

constexpr char kDone = 'D';

// One argument quoted the way the C runtime splits a command line again.
std::wstring quotedArgument(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

std::string number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::wstring childCommandLine(const std::string& task, HANDLE reportWrite, const Options& options) {
    std::vector<std::string> arguments = {
        "--child",         task,
        "--report-handle", std::to_string(reinterpret_cast<std::uintptr_t>(reportWrite)),
        "--plugin",        options.pluginPath,
        "--level",         std::to_string(options.level),
        "--seed",          std::to_string(options.seed),
        "--time-limit",    number(options.timeLimitSeconds)};
    if (options.profile.maxGain > 0.0) {
        arguments.insert(arguments.end(), {"--max-gain", number(options.profile.maxGain)});
    }
    if (options.profile.parameterTextLimit > 0) {
        arguments.insert(arguments.end(),
                         {"--text-limit", std::to_string(options.profile.parameterTextLimit)});
    }
    if (options.resumeAt > 0) {
        arguments.insert(arguments.end(), {"--resume-at", std::to_string(options.resumeAt)});
    }
    wchar_t self[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    std::wstring line = quotedArgument(std::wstring(self, length));
    for (const std::string& argument : arguments) {
        line += L' ' + quotedArgument(tools::wide(argument));
    }
    return line;
}

std::string lastErrorText(const char* what) {
    return std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
}

int crashReportFd = -1;

// An unhandled exception names the call in progress and ends the child with
// the exception's code as its exit status, where the parent reads it,
// instead of a debugger or a dialog.
LONG WINAPI endWithExceptionCode(EXCEPTION_POINTERS* exception) {
    writeCallInProgress(crashReportFd);
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

ChildOutcome runChild(const std::string& task, const Options& options,
                      const std::function<void(int fd)>& /*body*/) {
    ChildOutcome outcome;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0) ||
        !SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0)) {
        outcome.lines.emplace_back('P', lastErrorText("cannot create a pipe"));
        outcome.exitStatus = 1;
        return outcome;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const auto started = std::chrono::steady_clock::now();
    std::wstring commandLine = childCommandLine(task, writeEnd, options);
    // The child's standard output and error go to a temporary file that
    // is deleted when closed.
    wchar_t folder[MAX_PATH + 1];
    wchar_t capturePath[MAX_PATH + 1];
    HANDLE capture = INVALID_HANDLE_VALUE;
    if (GetTempPathW(MAX_PATH + 1, folder) != 0 &&
        GetTempFileNameW(folder, L"dvo", 0, capturePath) != 0) {
        capture = CreateFileW(capturePath, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (capture != INVALID_HANDLE_VALUE) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = capture;
        startup.hStdError = capture;
    }
    PROCESS_INFORMATION process{};
    const BOOL created = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    // Only the child holds the write end now: the pipe ends when it does.
    CloseHandle(writeEnd);
    if (!created) {
        CloseHandle(readEnd);
        if (capture != INVALID_HANDLE_VALUE) {
            CloseHandle(capture);
        }
        outcome.lines.emplace_back('P', lastErrorText("cannot start the check's process"));
        outcome.exitStatus = 1;
        return outcome;
    }
    CloseHandle(process.hThread);

    // A pipe cannot be waited on with a time limit: a thread reads it to its
    // end while this one waits for the process.
    std::string pending;
    std::thread reader([&] {
        char chunk[4096];
        DWORD n = 0;
        while (ReadFile(readEnd, chunk, sizeof chunk, &n, nullptr) && n > 0) {
            pending.append(chunk, n);
        }
    });
    const auto limitMs = static_cast<DWORD>(std::ceil(options.timeLimitSeconds * 1000.0));
    if (WaitForSingleObject(process.hProcess, limitMs) != WAIT_OBJECT_0) {
        outcome.timedOut = true;
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    reader.join();
    CloseHandle(readEnd);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);

    takeLines(pending, outcome.lines);
    const bool done = !outcome.lines.empty() && outcome.lines.back().first == kDone;
    if (done) {
        outcome.lines.pop_back();
    }
    if (!outcome.timedOut) {
        // Exception codes are error statuses: their top bit is set.
        if ((code & 0x80000000u) != 0) {
            outcome.crash = static_cast<int>(code);
        } else {
            outcome.exitStatus = static_cast<int>(code);
            outcome.unfinished = code == 0 && !done;
        }
    }
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (capture != INVALID_HANDLE_VALUE) {
        // A second handle for the C runtime; the file goes when both close.
        SetFilePointer(capture, 0, nullptr, FILE_BEGIN);
        HANDLE reading = nullptr;
        if (DuplicateHandle(GetCurrentProcess(), capture, GetCurrentProcess(), &reading, 0, FALSE,
                            DUPLICATE_SAME_ACCESS)) {
            const int fd =
                _open_osfhandle(reinterpret_cast<intptr_t>(reading), _O_RDONLY | _O_BINARY);
            std::FILE* file = fd >= 0 ? _fdopen(fd, "rb") : nullptr;
            if (file != nullptr) {
                outcome.output = summariseOutput(file);
                std::fclose(file);
            }
        }
        CloseHandle(capture);
    }
    return outcome;
}

int childMain(const std::string& task, const std::string& reportHandle, const Options& options) {
    char* end = nullptr;
    const unsigned long long handle = std::strtoull(reportHandle.c_str(), &end, 10);
    if (reportHandle.empty() || *end != '\0') {
        std::fprintf(stderr, "drifton-validate: --report-handle: not a handle: %s\n",
                     reportHandle.c_str());
        return 2;
    }
    const int fd =
        _open_osfhandle(static_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY | _O_APPEND);
    if (fd < 0) {
        std::fprintf(stderr, "drifton-validate: --report-handle: cannot use handle %s\n",
                     reportHandle.c_str());
        return 2;
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    crashReportFd = fd;
    SetUnhandledExceptionFilter(endWithExceptionCode);
    runTask(task, options, fd);
    writeReport(fd, std::string(1, kDone) + "\t\n");
    std::fflush(stdout);
    std::fflush(stderr);
    // No exit handlers: the plug-in's static state stays as it is.
    TerminateProcess(GetCurrentProcess(), 0);
    return 0;
}

std::string crashText(int crash) {
    const auto code = static_cast<DWORD>(crash);
    const char* name = code == EXCEPTION_ACCESS_VIOLATION        ? "access violation"
                       : code == EXCEPTION_STACK_OVERFLOW        ? "stack overflow"
                       : code == EXCEPTION_ILLEGAL_INSTRUCTION   ? "illegal instruction"
                       : code == EXCEPTION_INT_DIVIDE_BY_ZERO    ? "integer division by zero"
                       : code == EXCEPTION_BREAKPOINT            ? "breakpoint"
                       : code == EXCEPTION_IN_PAGE_ERROR         ? "in-page error"
                       : code == EXCEPTION_PRIV_INSTRUCTION      ? "privileged instruction"
                       : code == EXCEPTION_ARRAY_BOUNDS_EXCEEDED ? "array bounds exceeded"
                       : code == 0xC0000409u                     ? "stack buffer overrun"
                       : code == 0xE06D7363u                     ? "C++ exception"
                                                                 : "unhandled exception";
    char text[64];
    std::snprintf(text, sizeof text, "exception 0x%08lx (%s)", static_cast<unsigned long>(code),
                  name);
    return text;
}

void writeReport(int fd, const std::string& line) {
    const int ignored = _write(fd, line.data(), static_cast<unsigned>(line.size()));
    static_cast<void>(ignored);
}

long residentKiB() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        return 0;
    }
    return static_cast<long>(counters.WorkingSetSize / 1024);
}

}  // namespace validate
