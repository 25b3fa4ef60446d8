// A fuzzing host: creates panner instances through the entry function's
// body and drives them only through their effect records, as a DAW does.
// The host library's Host answers the plug-in's callbacks from fields a
// target may change; this layer checks
// the record and the caller's floating-point mode around every call, and
// keeps the first problem it sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "host/guarded_buffer.h"
#include "host/vst_host.h"
#include "vst/vst_opcodes.h"
#include "vst/vst_records.h"

namespace drifton::fuzz {

// The first problem found in a run; empty while all is well.
class Findings {
public:
    void fail(const std::string& problem) {
        if (first_.empty()) {
            first_ = problem;
        }
    }
    bool ok() const { return first_.empty(); }
    const std::string& first() const { return first_; }

private:
    std::string first_;
};

// One plug-in instance. Closes it when destroyed unless already closed.
class FuzzEffect {
public:
    FuzzEffect(vsthost::Host& host, Findings& findings);
    ~FuzzEffect();
    FuzzEffect(const FuzzEffect&) = delete;
    FuzzEffect& operator=(const FuzzEffect&) = delete;

    bool isOpen() const { return effect_ != nullptr; }
    AEffect* record() const { return effect_; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);
    void processReplacing(float** inputs, float** outputs, VstInt32 frames);
    // Sends effClose; the record is gone afterwards.
    void close();

private:
    // Fails when a call changed the caller's floating-point mode or a record
    // field that a host relies on.
    void checkAfterCall(unsigned int modeBefore, const char* call);

    Findings& findings_;
    AEffect* effect_ = nullptr;
    AEffect initial_{};
};

// A buffer handed to the plug-in with a limit on what it may write: the
// host library's guarded buffer (canaries and an inaccessible page after
// it), of which the bytes past `writable` must stay as they were.
class LimitedBuffer {
public:
    // `writable` bytes the plug-in may write, then guard bytes; `content` is
    // copied in first (cut to fit) and followed by a zero byte.
    LimitedBuffer(std::size_t writable, const std::uint8_t* content, std::size_t contentSize);
    char* data() { return buffer_.text(); }
    std::size_t writable() const { return writable_; }
    // What went wrong, or the empty text: a byte at or past `writable`
    // changed, or, when `isText` and the plug-in wrote anything, no zero
    // byte ends the text within the writable part.
    std::string problem(bool isText) const;

private:
    std::size_t writable_;
    vsthost::GuardedBuffer buffer_;
    std::unique_ptr<char[]> before_;
};

// Bytes the plug-in may write through ptr for this opcode and index: its
// own documented text limits plus the terminating zero, a pointer for the
// opcodes that answer one through ptr, nothing otherwise.
std::size_t writableBytes(VstInt32 opcode, VstInt32 index);
// True for the opcodes that write a zero-terminated text through ptr.
bool writesText(VstInt32 opcode);

// Processes one block through both instances' records and checks what a host
// needs from every block of finite input: output finite, never subnormal,
// within the pan law's bound of its own input channel, and in place identical
// to separate buffers. `reference` always uses separate buffers; `subject`
// uses `layout`. Frame counts of zero or less must leave the outputs alone.
enum class BufferLayout : std::uint8_t {
    separate,
    inPlace,
    nullInputs,
    nullOutputs,
    nullChannel,
};
// The input: noise from a seed, scaled to a finite amplitude.
struct TestSignal {
    std::uint32_t seed = 1;
    float amplitude = 1.0f;
};
void processAndCheck(FuzzEffect& reference, FuzzEffect* subject, BufferLayout layout,
                     VstInt32 frames, TestSignal signal, Findings& findings);

// Every parameter read back is finite and within 0..1, and writing a value
// read back reads back the same value (what a host relies on when it saves
// and restores a session).
void checkParameterReadBack(FuzzEffect& effect, Findings& findings);

}  // namespace drifton::fuzz
