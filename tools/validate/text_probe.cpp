#include "text_probe.h"

#include <cstdio>

namespace validate {

TextVerdict judgeText(const TextProbe& probe, std::size_t nominal, std::size_t declared) {
    TextVerdict verdict;
    if (probe.pastBuffer) {
        verdict.failure =
            "wrote past the end of a " + std::to_string(kHostTextBuffer) + "-byte buffer";
        return verdict;
    }
    if (!probe.wroteAnything) {
        return verdict;
    }
    if (declared > 0 && probe.bytesWritten > declared + 1) {
        verdict.failure = "wrote " + std::to_string(probe.bytesWritten) +
                          " bytes, past its declared limit of " + std::to_string(declared) +
                          " characters and the zero byte";
        return verdict;
    }
    if (!probe.terminated) {
        verdict.failure =
            "text not terminated within a " + std::to_string(kHostTextBuffer) + "-byte buffer";
        return verdict;
    }
    if (probe.text.size() > nominal) {
        // Appended piece by piece: MinGW's GCC 12 warns (-Wrestrict) about
        // the same text as one chain of operator+.
        std::string& warning = verdict.warning;
        warning = "'";
        warning += printable(probe.text);
        warning += "' has ";
        warning += std::to_string(probe.text.size());
        warning += " characters, more than the interface's ";
        warning += std::to_string(nominal);
    }
    return verdict;
}

std::string printable(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        }
    }
    return out;
}

}  // namespace validate
