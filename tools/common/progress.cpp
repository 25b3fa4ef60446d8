#include "tools/common/progress.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace tools {

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
    const double speed = seconds / elapsed;
    constexpr int kWidth = 30;
    std::string bar;
    if (total_ > 0) {
        const double fraction = static_cast<double>(framesDone) / static_cast<double>(total_);
        const int filled = static_cast<int>(fraction * kWidth);
        bar.reserve(kWidth + 3);
        bar.push_back('[');
        bar.append(static_cast<std::size_t>(filled), '#');
        bar.append(static_cast<std::size_t>(kWidth - filled), ' ');
        bar.append("] ");
        std::fprintf(stderr, "\r%s%3d%%  %lld / %lld frames  %.0fx real time ", bar.c_str(),
                     static_cast<int>(fraction * 100.0), static_cast<long long>(framesDone),
                     static_cast<long long>(total_), speed);
    } else {
        std::fprintf(stderr, "\r%lld frames  %.0fx real time ", static_cast<long long>(framesDone),
                     speed);
    }
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
