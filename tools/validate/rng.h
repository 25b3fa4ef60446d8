// splitmix64: the same numbers on every platform for a given seed, so a run
// replays from its seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace validate {

class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    double uniform();                                           // [0, 1)
    double uniform(double low, double high);                    // [low, high)
    std::int64_t between(std::int64_t low, std::int64_t high);  // inclusive
    bool chance(double probability) { return uniform() < probability; }
    template <typename T>
    const T& pick(const std::vector<T>& values) {
        return values[static_cast<std::size_t>(
            between(0, static_cast<std::int64_t>(values.size()) - 1))];
    }

private:
    std::uint64_t state_;
};

}  // namespace validate
