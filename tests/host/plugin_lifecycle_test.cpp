// The plug-in file through our host: handshake, the record's bytes,
// independent instances and effClose.
#include <cstring>

#include "tests/plugin_fixture.h"

namespace {

template <typename T>
T fieldAt(const std::array<unsigned char, sizeof(AEffect)>& bytes, std::size_t offset) {
    T value{};
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

using PluginLifecycle = PluginFixture;

TEST_F(PluginLifecycle, HandshakeAsksForTheHostVersionWithANullRecord) {
    auto instance = createInstance();
    ASSERT_NE(nullptr, instance);
    const auto calls = host.calls();
    ASSERT_EQ(1u, calls.size()) << "creation makes no call but the handshake";
    EXPECT_EQ(nullptr, calls[0].effect);
    EXPECT_EQ(audioMasterVersion, calls[0].opcode);
    EXPECT_EQ(0, calls[0].index);
    EXPECT_EQ(0, calls[0].value);
    EXPECT_EQ(nullptr, calls[0].ptr);
    EXPECT_EQ(0.0f, calls[0].opt);
}

TEST_F(PluginLifecycle, AHostAnsweringZeroGetsNoInstance) {
    host.setVersionAnswer(0);
    EXPECT_EQ(nullptr, vsthost::Instance::create(entry, host));
    EXPECT_EQ(1u, host.calls().size());
    EXPECT_EQ(nullptr, entry(nullptr)) << "a null callback gets no instance either";
}

TEST_F(PluginLifecycle, MainIsTheSameEntryPoint) { EXPECT_EQ(entry, library->entryPoint("main")); }

TEST_F(PluginLifecycle, RecordBytesAreExactlyAsAHostExpects) {
    auto instance = createInstance();
    ASSERT_NE(nullptr, instance);
    const auto& bytes = instance->initialRecordBytes();
    static_assert(sizeof(AEffect) == 192);

    EXPECT_EQ(0x56737450, fieldAt<std::int32_t>(bytes, 0));
    EXPECT_EQ(0, fieldAt<std::int32_t>(bytes, 4)) << "alignment gap";
    for (std::size_t offset : {8u, 16u, 24u, 32u, 120u, 128u}) {
        EXPECT_NE(nullptr, fieldAt<void*>(bytes, offset)) << "function pointer at " << offset;
    }
    EXPECT_EQ(1, fieldAt<std::int32_t>(bytes, 40)) << "numPrograms";
    EXPECT_EQ(4, fieldAt<std::int32_t>(bytes, 44)) << "numParams";
    EXPECT_EQ(2, fieldAt<std::int32_t>(bytes, 48)) << "numInputs";
    EXPECT_EQ(2, fieldAt<std::int32_t>(bytes, 52)) << "numOutputs";
    EXPECT_EQ(0x10, fieldAt<std::int32_t>(bytes, 56)) << "flags";
    EXPECT_EQ(0, fieldAt<std::int32_t>(bytes, 60)) << "alignment gap";
    EXPECT_EQ(0, fieldAt<std::int64_t>(bytes, 64)) << "resvd1";
    EXPECT_EQ(0, fieldAt<std::int64_t>(bytes, 72)) << "resvd2";
    EXPECT_EQ(0, fieldAt<std::int32_t>(bytes, 80)) << "initialDelay";
    EXPECT_EQ(0, fieldAt<std::int32_t>(bytes, 84)) << "realQualities";
    EXPECT_EQ(0, fieldAt<std::int32_t>(bytes, 88)) << "offQualities";
    EXPECT_EQ(1.0f, fieldAt<float>(bytes, 92)) << "ioRatio";
    EXPECT_NE(nullptr, fieldAt<void*>(bytes, 96)) << "object";
    EXPECT_EQ(nullptr, fieldAt<void*>(bytes, 104)) << "user";
    EXPECT_EQ(0x7270766E, fieldAt<std::int32_t>(bytes, 112)) << "uniqueID rpvn";
    EXPECT_EQ(1, fieldAt<std::int32_t>(bytes, 116)) << "version";
    for (std::size_t offset = 136; offset < 192; ++offset) {
        EXPECT_EQ(0, bytes[offset]) << "future byte " << offset;
    }
}

TEST_F(PluginLifecycle, TwoInstancesAreIndependent) {
    auto first = createInstance();
    auto second = createInstance();
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first->record(), second->record());
    EXPECT_NE(first->record()->object, second->record()->object);

    // The program number has no lower bound, so it shows state per instance.
    first->dispatch(effSetProgram, 0, -3);
    EXPECT_EQ(-3, first->dispatch(effGetProgram));
    EXPECT_EQ(0, second->dispatch(effGetProgram));

    EXPECT_EQ(1, first->close());
    EXPECT_EQ(0, second->dispatch(effGetProgram)) << "closing one leaves the other alive";
    EXPECT_EQ(1, second->close());
}

TEST_F(PluginLifecycle, CloseAnswersOneAndMakesNoHostCall) {
    auto instance = createInstance();
    ASSERT_NE(nullptr, instance);
    host.clearCalls();
    EXPECT_EQ(1, instance->close());
    EXPECT_FALSE(instance->isOpen());
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(PluginLifecycle, ConfigurationAndResumeMakeNoHostCall) {
    auto instance = createInstance();
    ASSERT_NE(nullptr, instance);
    host.clearCalls();
    EXPECT_EQ(0, instance->dispatch(effOpen));
    EXPECT_EQ(0, instance->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f));
    EXPECT_EQ(0, instance->dispatch(effSetBlockSize, 0, 512));
    EXPECT_EQ(0, instance->dispatch(effMainsChanged, 0, 1));
    EXPECT_EQ(0, instance->dispatch(effMainsChanged, 0, 0));
    EXPECT_EQ(0, instance->dispatch(effMainsChanged, 0, 1));
    EXPECT_EQ(0u, host.countCalls(audioMasterWantMidi)) << "the panner never asks for MIDI";
    EXPECT_TRUE(host.calls().empty());
}

}  // namespace
