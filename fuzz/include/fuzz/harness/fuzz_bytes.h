// Reads a fuzzer's input as a stream of typed values. Once the input is used
// up every read answers zero, so a target never runs past its data and every
// input, however short, is a complete and repeatable run.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

namespace drifton::fuzz {

class FuzzBytes {
public:
    FuzzBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return offset_ >= size_; }
    std::size_t remaining() const { return size_ - offset_; }

    std::uint8_t byte() { return take<std::uint8_t>(); }

    // The next sizeof(T) bytes as a T, in the machine's byte order; bytes
    // missing at the end of the input read as zero.
    template <typename T>
    T take() {
        static_assert(std::is_trivially_copyable_v<T>);
        unsigned char raw[sizeof(T)] = {};
        const std::size_t count = std::min(sizeof(T), remaining());
        if (count > 0) {
            std::memcpy(raw, data_ + offset_, count);
            offset_ += count;
        }
        T value;
        std::memcpy(&value, raw, sizeof(T));
        return value;
    }

    // Up to `count` of the next bytes.
    std::span<const std::uint8_t> bytes(std::size_t count) {
        const std::size_t taken = std::min(count, remaining());
        const std::span<const std::uint8_t> result(data_ + offset_, taken);
        offset_ += taken;
        return result;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

// Values a host can send that are worth trying more often than random bits
// would find them: zeros, boundaries, NaN, infinities, subnormals, extremes.
// A selector byte picks one of them or the raw bits that follow.
float interestingFloat(FuzzBytes& in);
double interestingDouble(FuzzBytes& in);
std::int32_t interestingIndex(FuzzBytes& in);

}  // namespace drifton::fuzz
