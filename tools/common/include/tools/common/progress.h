// A one-line progress bar on stderr for long work: shown only when stderr is
// a terminal and the work has run for about a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tools {

// The text of the bar for `width` terminal columns: never more than
// width - 1 characters, so that it does not wrap; the bar shrinks first, then
// the details go. `total` 0 when unknown.
std::string progressLine(std::int64_t done, std::int64_t total, double speed, int width);

// The terminal's width in columns: stderr's window size, else $COLUMNS, else 80.
int terminalColumns();

class Progress {
public:
    // `totalFrames` 0 when unknown; `enabled` false for --quiet.
    Progress(std::int64_t totalFrames, double sampleRate, bool enabled);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Cheap enough to call once per audio block.
    void update(std::int64_t framesDone);
    // Clears the bar if one was drawn.
    void finish();

private:
    using Clock = std::chrono::steady_clock;
    std::int64_t total_;
    double rate_;
    bool enabled_;
    bool drawn_ = false;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
};

}  // namespace tools
