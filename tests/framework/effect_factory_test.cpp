// The entry point's body: handshake, creation, and failure without exceptions.
#include "framework/effect_factory.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "recording_effect.h"

namespace {

bool failNothrowAllocation = false;

class ThrowingEffect : public RecordingEffect {
public:
    explicit ThrowingEffect(audioMasterCallback callback) : RecordingEffect(callback) {
        throw std::runtime_error("construction failed");
    }
};

class EffectFactory : public ::testing::Test {
protected:
    void SetUp() override { RecordingHostCallback::reset(2400); }
    void TearDown() override { failNothrowAllocation = false; }
};

TEST_F(EffectFactory, HandshakeThenCreation) {
    AEffect* record = createEffectInstance<RecordingEffect>(RecordingHostCallback::callback);
    ASSERT_NE(nullptr, record);
    ASSERT_EQ(1u, RecordingHostCallback::calls.size());
    const auto& call = RecordingHostCallback::calls[0];
    EXPECT_EQ(nullptr, call.effect);
    EXPECT_EQ(audioMasterVersion, call.opcode);
    EXPECT_EQ(kEffectMagic, record->magic);
    EXPECT_EQ(1, record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f));
}

TEST_F(EffectFactory, RefusalsAnswerNull) {
    EXPECT_EQ(nullptr, createEffectInstance<RecordingEffect>(nullptr));

    RecordingHostCallback::reset(0);
    EXPECT_EQ(nullptr, createEffectInstance<RecordingEffect>(RecordingHostCallback::callback));

    RecordingHostCallback::reset(2400);
    failNothrowAllocation = true;
    EXPECT_EQ(nullptr, createEffectInstance<RecordingEffect>(RecordingHostCallback::callback));
    failNothrowAllocation = false;

    EXPECT_EQ(nullptr, createEffectInstance<ThrowingEffect>(RecordingHostCallback::callback))
        << "an exception in construction is caught at the boundary";
}

}  // namespace

// The factory allocates with the nothrow form; this lets a test make it fail.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (failNothrowAllocation) {
        return nullptr;
    }
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}
