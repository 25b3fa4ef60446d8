// A buffer handed to a plug-in through ptr, arranged so that any write past
// its end is seen: `capacity` writable bytes between two runs of canary
// bytes, with an inaccessible page right after the trailing run. A write
// just past the end changes a canary; a longer one stops at the page.
// Used by the validator and the fuzz harness for texts and records.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vsthost {

class GuardedBuffer {
public:
    // Aborts when the pages cannot be mapped (an out-of-memory condition).
    explicit GuardedBuffer(std::size_t capacity);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    unsigned char* data() { return data_; }
    const unsigned char* data() const { return data_; }
    char* text() { return reinterpret_cast<char*>(data_); }
    std::size_t capacity() const { return capacity_; }

    // Fills the writable bytes.
    void fill(unsigned char value);
    // True when every canary byte is intact; otherwise the offset of the
    // first damaged one from data() (negative before it) in *firstDamaged.
    bool canariesIntact(std::ptrdiff_t* firstDamaged = nullptr) const;
    void resetCanaries();

    static constexpr std::size_t kCanaryBytes = 64;
    static constexpr unsigned char kCanary = 0xCD;

private:
    unsigned char* base_ = nullptr;
    std::size_t mapped_ = 0;
    unsigned char* data_ = nullptr;
    std::size_t capacity_;
};

}  // namespace vsthost
