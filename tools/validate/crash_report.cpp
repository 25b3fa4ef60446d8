#include "crash_report.h"

#include <csignal>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "audio_buffers.h"
#include "environment.h"
#include "host/vst_host.h"
#include "host_calls.h"

namespace validate {

namespace {

int reportFd = -1;

// Appends text or a number to a fixed buffer without allocating.
struct Line {
    char text[256];
    std::size_t length = 0;

    void add(const char* s) {
        while (*s != '\0' && length < sizeof text - 1) {
            text[length++] = *s++;
        }
    }
    void add(std::int64_t value) {
        char digits[24];
        std::size_t n = 0;
        const bool negative = value < 0;
        auto magnitude =
            negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
        do {
            digits[n++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (negative) {
            add("-");
        }
        while (n > 0 && length < sizeof text - 1) {
            text[length++] = digits[--n];
        }
    }
};

void writeAll(int fd, const char* data, std::size_t size) {
#if defined(_WIN32)
    const int ignored = _write(fd, data, static_cast<unsigned>(size));
#else
    const ssize_t ignored = ::write(fd, data, size);
#endif
    static_cast<void>(ignored);
}

#if !defined(_WIN32)
void onCrash(int signal) {
    writeCallInProgress(reportFd);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
#endif

}  // namespace

void writeCallInProgress(int fd) {
    const vsthost::CallInProgress& call = vsthost::callInProgress();
    if (fd < 0 || call.what == nullptr) {
        return;
    }
    std::uint32_t optBits = 0;
    std::memcpy(&optBits, &call.opt, sizeof optBits);
    Line line;
    line.add("C\t");
    line.add(call.what);
    for (const std::int64_t field :
         {static_cast<std::int64_t>(call.opcode), static_cast<std::int64_t>(call.index),
          static_cast<std::int64_t>(call.value), static_cast<std::int64_t>(call.ptr != nullptr),
          static_cast<std::int64_t>(optBits)}) {
        line.add("|");
        line.add(field);
    }
    line.add("\n");
    writeAll(fd, line.text, line.length);
}

void installCrashReport(int fd) {
    reportFd = fd;
#if !defined(_WIN32)
    if (underSanitizer()) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = onCrash;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_NODEFER;
    // The handler must run even when the stack overflowed.
    static std::vector<char> alternate(64 * 1024);
    stack_t stack{};
    stack.ss_sp = alternate.data();
    stack.ss_size = alternate.size();
    if (sigaltstack(&stack, nullptr) == 0) {
        action.sa_flags |= SA_ONSTACK;
    }
    for (const int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) {
        sigaction(signal, &action, nullptr);
    }
#endif
}

std::string describeCrashedCall(const std::string& fields) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = fields.find('|', start);
        parts.push_back(fields.substr(start, bar - start));
        if (bar == std::string::npos) {
            break;
        }
        start = bar + 1;
    }
    if (parts.size() != 6) {
        return fields;
    }
    try {
        const std::string& what = parts[0];
        const auto opcode = static_cast<VstInt32>(std::stol(parts[1]));
        const auto index = static_cast<VstInt32>(std::stol(parts[2]));
        const auto value = static_cast<VstIntPtr>(std::stoll(parts[3]));
        const bool pointer = parts[4] == "1";
        const auto bits = static_cast<std::uint32_t>(std::stoll(parts[5]));
        float opt = 0.0f;
        std::memcpy(&opt, &bits, sizeof opt);
        if (what == "dispatcher") {
            return "dispatcher " +
                   callText(opcode, index, value, pointer ? "non-null" : "null", opt);
        }
        if (what == "setParameter") {
            return "setParameter(" + std::to_string(index) + ", " + describeFloat(opt) + ")";
        }
        if (what == "getParameter") {
            return "getParameter(" + std::to_string(index) + ")";
        }
        if (what == "the entry point") {
            return what;
        }
        return what + " of " + std::to_string(value) + " frames" +
               (pointer ? "" : " with a null input array");
    } catch (const std::exception&) {
        return fields;
    }
}

}  // namespace validate
