// POSIX: a forked child per task, its standard output and error in a
// temporary file, the resident set from /proc.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "crash_report.h"
#include "platform.h"

namespace validate {

ChildOutcome runChild(const std::string& /*task*/, const Options& options,
                      const std::function<void(int fd)>& body) {
    ChildOutcome outcome;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        outcome.lines.emplace_back('P',
                                   std::string("cannot create a pipe: ") + std::strerror(errno));
        outcome.exitStatus = 1;
        return outcome;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    // The plug-in's own output (and a memory checker's) goes to a file,
    // summarised by the parent, not into the report.
    std::FILE* captured = std::tmpfile();
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        ::close(fds[0]);
        if (captured != nullptr) {
            dup2(fileno(captured), STDOUT_FILENO);
            dup2(fileno(captured), STDERR_FILENO);
        }
        installCrashReport(fds[1]);
        body(fds[1]);
        std::fflush(stdout);
        std::fflush(stderr);
        // No exit handlers: the plug-in's static state stays as it is.
        _exit(0);
    }
    ::close(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        if (captured != nullptr) {
            std::fclose(captured);
        }
        outcome.lines.emplace_back('P', std::string("cannot fork: ") + std::strerror(errno));
        outcome.exitStatus = 1;
        return outcome;
    }
    const auto deadline = started + std::chrono::duration<double>(options.timeLimitSeconds);
    std::string pending;
    char chunk[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            outcome.timedOut = true;
            break;
        }
        pollfd readable{fds[0], POLLIN, 0};
        const int ready =
            poll(&readable, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready <= 0) {
            continue;
        }
        const ssize_t n = ::read(fds[0], chunk, sizeof chunk);
        if (n <= 0) {
            break;  // end of file: the child has finished or died
        }
        pending.append(chunk, static_cast<std::size_t>(n));
        takeLines(pending, outcome.lines);
    }
    ::close(fds[0]);
    if (outcome.timedOut) {
        kill(child, SIGKILL);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!outcome.timedOut) {
        if (WIFSIGNALED(status)) {
            outcome.crash = WTERMSIG(status);
        } else if (WIFEXITED(status)) {
            outcome.exitStatus = WEXITSTATUS(status);
        }
    }
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (captured != nullptr) {
        std::rewind(captured);
        outcome.output = summariseOutput(captured);
        std::fclose(captured);
    }
    return outcome;
}

std::string crashText(int crash) {
    const char* name = sigabbrev_np(crash);
    const char* description = strsignal(crash);
    return std::string("SIG") + (name != nullptr ? name : std::to_string(crash)) + " (" +
           (description != nullptr ? description : "") + ")";
}

void writeReport(int fd, const std::string& line) {
    const ssize_t ignored = ::write(fd, line.data(), line.size());
    static_cast<void>(ignored);
}

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace validate
