// Host queries of the base effect: opcode, arguments, the effect's own record,
// the conversion of the answer, and the result without a host callback.
#include <gtest/gtest.h>

#include "recording_effect.h"

namespace {

using Calls = RecordingHostCallback;

class BaseHostQueries : public ::testing::Test {
protected:
    void SetUp() override { Calls::reset(); }
    RecordingEffect effect{Calls::callback};
    RecordingEffect hostless{nullptr};
};

TEST_F(BaseHostQueries, MasterVersionReportsZeroAsOne) {
    EXPECT_EQ(1, hostless.getMasterVersion());
    Calls::answer = 0;
    EXPECT_EQ(1, effect.getMasterVersion());
    Calls::answer = 2400;
    EXPECT_EQ(2400, effect.getMasterVersion());
    Calls::answer = static_cast<VstIntPtr>(0x100000000LL);
    EXPECT_EQ(1, effect.getMasterVersion()) << "only the low 32 bits count";
    ASSERT_EQ(3u, Calls::calls.size());
    for (const auto& call : Calls::calls) {
        EXPECT_EQ(audioMasterVersion, call.opcode);
        EXPECT_EQ(effect.getEffectRecord(), call.effect);
        EXPECT_EQ(0, call.index);
        EXPECT_EQ(0, call.value);
        EXPECT_EQ(nullptr, call.ptr);
        EXPECT_EQ(0.0f, call.opt);
    }
}

TEST_F(BaseHostQueries, CurrentUniqueIdAndIdle) {
    EXPECT_EQ(0, hostless.getCurrentUniqueId());
    hostless.masterIdle();
    Calls::reset(static_cast<VstIntPtr>(0x1ABCD1234LL));
    EXPECT_EQ(static_cast<VstInt32>(0xABCD1234u), effect.getCurrentUniqueId());
    effect.masterIdle();
    ASSERT_EQ(2u, Calls::calls.size());
    EXPECT_EQ(audioMasterCurrentId, Calls::calls[0].opcode);
    EXPECT_EQ(audioMasterIdle, Calls::calls[1].opcode);
}

TEST_F(BaseHostQueries, PinConnectionIsTrueWhenTheHostAnswersZero) {
    EXPECT_TRUE(hostless.isInputConnected(0));
    EXPECT_TRUE(hostless.isOutputConnected(1));

    Calls::reset(0);
    EXPECT_TRUE(effect.isInputConnected(3));
    EXPECT_TRUE(effect.isOutputConnected(4));
    Calls::reset(1);
    EXPECT_FALSE(effect.isInputConnected(3));
    EXPECT_FALSE(effect.isOutputConnected(4));
    ASSERT_EQ(2u, Calls::calls.size());
    EXPECT_EQ(audioMasterPinConnected, Calls::calls[0].opcode);
    EXPECT_EQ(3, Calls::calls[0].index);
    EXPECT_EQ(0, Calls::calls[0].value);
    EXPECT_EQ(4, Calls::calls[1].index);
    EXPECT_EQ(1, Calls::calls[1].value);
    Calls::reset(static_cast<VstIntPtr>(0x100000000LL));
    EXPECT_TRUE(effect.isInputConnected(0)) << "low 32 bits are zero";
}

TEST_F(BaseHostQueries, SetParameterAutomatedSetsFirstThenTellsTheHost) {
    effect.setParameterAutomated(2, 0.625f);
    const auto& set = effect.last("setParameter");
    EXPECT_EQ(2, set.first);
    EXPECT_EQ(0.625f, set.real);
    ASSERT_EQ(1u, Calls::calls.size());
    EXPECT_EQ(audioMasterAutomate, Calls::calls[0].opcode);
    EXPECT_EQ(2, Calls::calls[0].index);
    EXPECT_EQ(0.625f, Calls::calls[0].opt);

    hostless.setParameterAutomated(1, 0.5f);
    EXPECT_TRUE(hostless.ran("setParameter"));
    EXPECT_EQ(1u, Calls::calls.size());
}

}  // namespace
