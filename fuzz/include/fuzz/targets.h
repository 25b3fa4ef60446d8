// The fuzz targets. Each runs one input through fresh plug-in instances and
// answers the first problem found, or the empty text when all is well. The
// libFuzzer executables and the regression replay test call the same code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace drifton::fuzz {

using TargetFunction = std::string (*)(const std::uint8_t* data, std::size_t size);

// Opcode, index, value, a pointer to bytes, opt: any sequence of dispatcher calls.
std::string runDispatcher(const std::uint8_t* data, std::size_t size);
// Parameter values of every kind on any index, read-backs and the parameter texts.
std::string runParameters(const std::uint8_t* data, std::size_t size);
// Blocks of any size under any time information and sample rate, in two
// instances run side by side.
std::string runProcessing(const std::uint8_t* data, std::size_t size);

// The LV2 edition's run() with arbitrary atom sequences and control values
// (an empty answer where the LV2 edition is not built).
std::string runLv2(const std::uint8_t* data, std::size_t size);

struct Target {
    std::string_view name;
    TargetFunction run;
};

inline constexpr std::array<Target, 4> kTargets = {{
    {"dispatcher", runDispatcher},
    {"parameters", runParameters},
    {"processing", runProcessing},
    {"lv2", runLv2},
}};

}  // namespace drifton::fuzz
