// The summary of what a check's process printed: counts, the first lines
// and the last ones, each cut to a readable length.
#include <deque>

#include "platform.h"

namespace validate {

namespace {
constexpr std::size_t kFirstLines = 5;
constexpr std::size_t kLastLines = 10;
constexpr std::size_t kLineLength = 300;
}  // namespace

CapturedOutput summariseOutput(std::FILE* file) {
    CapturedOutput output;
    std::deque<std::string> last;
    std::string line;
    bool lineOpen = false;
    int escape = 0;  // 1: after ESC; 2: inside ESC [ ... final byte
    const auto finish = [&] {
        ++output.lines;
        if (output.first.size() < kFirstLines) {
            output.first.push_back(line);
        } else {
            last.push_back(line);
            if (last.size() > kLastLines) {
                last.pop_front();
            }
        }
        line.clear();
        lineOpen = false;
    };
    char chunk[4096];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        output.bytes += n;
        for (std::size_t i = 0; i < n; ++i) {
            const char c = chunk[i];
            if (c == '\n') {
                finish();
            } else {
                lineOpen = true;
                // Terminal colours and other control bytes are left out.
                if (c == '\x1b') {
                    escape = 1;
                } else if (escape == 1) {
                    escape = c == '[' ? 2 : 0;  // a control sequence, or one byte
                } else if (escape == 2) {
                    escape = (c >= '@' && c <= '~') ? 0 : 2;  // up to its final byte
                } else if (line.size() < kLineLength &&
                           (static_cast<unsigned char>(c) >= 0x20 || c == '\t')) {
                    line += c;
                }
            }
        }
    }
    if (lineOpen) {
        finish();
    }
    output.last.assign(last.begin(), last.end());
    return output;
}

}  // namespace validate
