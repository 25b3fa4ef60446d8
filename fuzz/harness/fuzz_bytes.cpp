#include "fuzz/harness/fuzz_bytes.h"

#include <array>
#include <limits>

namespace drifton::fuzz {

namespace {

template <typename T>
constexpr std::array<T, 20> kInterestingValues = {
    T(0),
    -T(0),
    T(1),
    T(0.5),
    T(-1),
    T(2),
    T(0.25),
    T(0.75),
    std::numeric_limits<T>::quiet_NaN(),
    -std::numeric_limits<T>::quiet_NaN(),
    std::numeric_limits<T>::infinity(),
    -std::numeric_limits<T>::infinity(),
    std::numeric_limits<T>::min(),
    std::numeric_limits<T>::denorm_min(),
    -std::numeric_limits<T>::denorm_min(),
    std::numeric_limits<T>::max(),
    std::numeric_limits<T>::lowest(),
    std::numeric_limits<T>::epsilon(),
    T(1) - std::numeric_limits<T>::epsilon(),
    T(1) + std::numeric_limits<T>::epsilon(),
};

template <typename T>
T interesting(FuzzBytes& in) {
    const std::uint8_t selector = in.byte();
    if (selector < kInterestingValues<T>.size()) {
        return kInterestingValues<T>[selector];
    }
    if (selector < 128) {
        // A value in 0..1 with a resolution of 1/255, where the parameters live.
        return static_cast<T>(in.byte()) / T(255);
    }
    return in.take<T>();
}

}  // namespace

float interestingFloat(FuzzBytes& in) { return interesting<float>(in); }

double interestingDouble(FuzzBytes& in) { return interesting<double>(in); }

std::int32_t interestingIndex(FuzzBytes& in) {
    static constexpr std::array<std::int32_t, 4> kOutside = {
        -1, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), 4};
    const std::uint8_t selector = in.byte();
    if (selector < 200) {
        return selector % 6;  // the four parameters and just past them
    }
    if (selector < 240) {
        return kOutside[selector % kOutside.size()];
    }
    return in.take<std::int32_t>();
}

}  // namespace drifton::fuzz
