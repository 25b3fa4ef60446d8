// Bounded text copy used by every text answer to the host.
#pragma once

#include <cstring>

// Copies text into dest as strncpy does with count limit (shorter texts are
// padded with zero bytes up to limit), then writes a zero byte at position
// limit: exactly limit + 1 bytes are written and nothing beyond. A null
// dest writes nothing.
inline void copyTextWithLimit(char* dest, const char* text, std::size_t limit) {
    if (dest == nullptr) {
        return;
    }
    std::size_t length = 0;
    while (length < limit && text[length] != '\0') {
        ++length;
    }
    std::memcpy(dest, text, length);
    std::memset(dest + length, 0, limit - length + 1);
}

// Writes the empty text (a single zero byte); a null dest writes nothing.
inline void writeEmptyText(char* dest) {
    if (dest != nullptr) {
        dest[0] = '\0';
    }
}
