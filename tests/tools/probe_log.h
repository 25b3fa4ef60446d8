// What the probe effect logs for each processed block.
#pragma once

#include <cstddef>
#include <cstdint>

struct ProbeBlock {
    std::int32_t frames;
    bool hadTime;
    double ppqPos;
    double tempo;
    std::int32_t flags;
    float depth;  // the parameter when the block was processed
};

using ProbeBlocksFunction = const ProbeBlock* (*)(std::size_t* count);
using ProbeResetFunction = void (*)();
