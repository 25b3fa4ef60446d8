// Texts a plug-in writes into a host's buffer, judged by the text itself:
// what can hurt a host fails (a write past the buffer, no terminating zero,
// a write past a limit the plug-in declares); a text longer than the
// interface's nominal limit is only a warning, since hosts customarily give
// far larger buffers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "host/guarded_buffer.h"

namespace validate {

// The buffer size hosts customarily hand to text opcodes.
inline constexpr std::size_t kHostTextBuffer = 256;

// What a text opcode wrote, found by calling it twice over two different
// fills: a byte counts as written when it differs from the fill in either.
struct TextProbe {
    bool wroteAnything = false;
    std::size_t bytesWritten = 0;  // highest written index + 1
    bool terminated = false;       // a zero byte within the buffer
    bool pastBuffer = false;       // canaries damaged
    std::string text;              // up to the first zero byte
};

template <typename Call>
TextProbe probeText(vsthost::GuardedBuffer& buffer, Call&& call);

struct TextVerdict {
    std::string failure;  // empty when nothing that hurts a host was done
    std::string warning;  // empty when the text keeps the nominal limit
};

// `nominal`: the interface's limit in characters; `declared`: a limit the
// plug-in declares (0: none), past which nothing may be written.
TextVerdict judgeText(const TextProbe& probe, std::size_t nominal, std::size_t declared);

// The text for a report: printable ASCII as it is, other bytes as \xNN.
std::string printable(const std::string& text);

template <typename Call>
TextProbe probeText(vsthost::GuardedBuffer& buffer, Call&& call) {
    TextProbe probe;
    const unsigned char fills[2] = {0xA5, 0x5A};
    std::vector<unsigned char> first;
    for (const unsigned char fill : fills) {
        buffer.resetCanaries();
        buffer.fill(fill);
        call(buffer.text());
        if (!buffer.canariesIntact()) {
            probe.pastBuffer = true;
        }
        for (std::size_t i = 0; i < buffer.capacity(); ++i) {
            if (buffer.data()[i] != fill) {
                probe.wroteAnything = true;
                probe.bytesWritten = std::max(probe.bytesWritten, i + 1);
            }
        }
        if (first.empty()) {
            first.assign(buffer.data(), buffer.data() + buffer.capacity());
        }
    }
    const auto zero = std::find(first.begin(), first.end(), 0);
    probe.terminated = zero != first.end();
    probe.text.assign(first.begin(), zero);
    return probe;
}

}  // namespace validate
