#include "tools/common/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/common/cli.h"

namespace tools {

std::string progressLine(std::int64_t done, std::int64_t total, double speed, int width) {
    const auto room = static_cast<std::size_t>(std::max(width - 1, 0));
    char details[128];
    if (total <= 0) {
        std::snprintf(details, sizeof details, "%lld frames  %.0fx real time",
                      static_cast<long long>(done), speed);
        return std::string(details).substr(0, room);
    }
    const double fraction =
        std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0);
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100.0));
    std::snprintf(details, sizeof details, "  %lld / %lld frames  %.0fx real time",
                  static_cast<long long>(done), static_cast<long long>(total), speed);
    std::string tail = std::string(percent) + details;
    if (tail.size() + 12 > room) {
        tail = percent;  // narrow: the details go
    }
    // The bar takes what is left, from 30 down to 8 cells (or none).
    const std::size_t left = room > tail.size() + 3 ? room - tail.size() - 3 : 0;
    const std::size_t cells = std::min<std::size_t>(30, left);
    std::string line;
    if (cells >= 8) {
        const auto filled = static_cast<std::size_t>(fraction * static_cast<double>(cells));
        // Appended piece by piece: GCC 12 at -O2 warns (-Wrestrict) on
        // the same line written as a chain of string temporaries.
        line += '[';
        line.append(filled, '#');
        line.append(cells - filled, ' ');
        line += "] ";
    }
    line += tail;
    return line.substr(0, room);
}

int terminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    if (const char* columns = std::getenv("COLUMNS")) {
        if (const auto value = toNumber(columns); value && *value >= 1 && *value <= 10000) {
            return static_cast<int>(*value);
        }
    }
    return 80;
}

Progress::Progress(std::int64_t totalFrames, double sampleRate, bool enabled)
    : total_(totalFrames),
      rate_(sampleRate),
      enabled_(enabled && ::isatty(STDERR_FILENO) == 1),
      start_(Clock::now()),
      lastDraw_(start_) {}

Progress::~Progress() { finish(); }

void Progress::update(std::int64_t framesDone) {
    if (!enabled_) {
        return;
    }
    const auto now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    if (elapsed < 1.0 || (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100))) {
        return;
    }
    lastDraw_ = now;
    drawn_ = true;
    const double seconds = static_cast<double>(framesDone) / rate_;
    // Asked each time: the window may be resized while the work runs.
    const std::string line = progressLine(framesDone, total_, seconds / elapsed, terminalColumns());
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
}

void Progress::finish() {
    if (drawn_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        drawn_ = false;
    }
}

}  // namespace tools
