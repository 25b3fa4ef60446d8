// Every opcode a host can send, answered by the plug-in file with the
// pointer-sized widths a host reads.
#include <cstring>
#include <map>

#include "tests/plugin_fixture.h"

namespace {

using OpcodeTable = PluginFixture;

// Opcodes that answer something other than 0 with the arguments used below.
const std::map<VstInt32, VstIntPtr>& nonZeroAnswers() {
    static const std::map<VstInt32, VstIntPtr> answers = {
        {effIdentify, 0x4E764566},      {effCanBeAutomated, 1},           {effGetEffectName, 1},
        {effGetVendorString, 1},        {effGetProductString, 1},         {effGetVstVersion, 2400},
        {effGetCurrentMidiProgram, -1}, {effSetTotalSampleToProcess, 96},
    };
    return answers;
}

TEST_F(OpcodeTable, EveryOpcodeFromZeroToSeventyNine) {
    for (VstInt32 opcode = 0; opcode <= 79; ++opcode) {
        if (opcode == effClose) {
            continue;  // ends the instance: covered by its own test
        }
        auto instance = createInstance();
        ASSERT_NE(nullptr, instance);
        alignas(16) char buffer[256] = {};
        VstSpeakerArrangement* inputSlot = nullptr;
        const VstIntPtr value = opcode == effGetSpeakerArrangement
                                    ? reinterpret_cast<VstIntPtr>(&inputSlot)
                                    : (opcode == effSetSpeakerArrangement ? 0 : 96);
        const auto found = nonZeroAnswers().find(opcode);
        const VstIntPtr expected = found != nonZeroAnswers().end() ? found->second : 0;
        EXPECT_EQ(expected, instance->dispatch(opcode, 0, value, buffer, 0.0f))
            << "opcode " << opcode;
    }
}

TEST_F(OpcodeTable, OpcodesOutsideTheTableAnswerZero) {
    auto instance = createInstance();
    ASSERT_NE(nullptr, instance);
    char buffer[64] = {};
    for (VstInt32 opcode : {80, 81, 128, 1000, INT32_MAX, -1, -2, INT32_MIN}) {
        EXPECT_EQ(0, instance->dispatch(opcode, 1, 1, buffer, 1.0f)) << "opcode " << opcode;
    }
}

TEST_F(OpcodeTable, AnswersUseTheFullPointerWidth) {
    auto instance = createInstance();
    ASSERT_NE(nullptr, instance);
    EXPECT_EQ(VstIntPtr{-1}, instance->dispatch(effGetCurrentMidiProgram));
    EXPECT_EQ(~VstIntPtr{0}, instance->dispatch(effGetCurrentMidiProgram));
    EXPECT_EQ(VstIntPtr{-1234}, instance->dispatch(effSetTotalSampleToProcess, 0, -1234));
}

TEST_F(OpcodeTable, IdentityTexts) {
    auto instance = createInstance();
    ASSERT_NE(nullptr, instance);
    for (VstInt32 opcode : {effGetEffectName, effGetProductString, effGetVendorString}) {
        char buffer[32];
        std::memset(buffer, 0x7F, sizeof buffer);
        EXPECT_EQ(1, instance->dispatch(opcode, 0, 0, buffer));
        const char* expected = opcode == effGetVendorString ? "K'q Lum-vee" : "K'q Drifton";
        EXPECT_STREQ(expected, buffer);
        for (std::size_t i = std::strlen(expected); i <= 24; ++i) {
            EXPECT_EQ(0, buffer[i]) << "zero padding through position 24, at " << i;
        }
        for (std::size_t i = 25; i < sizeof buffer; ++i) {
            EXPECT_EQ(0x7F, buffer[i]) << "nothing beyond position 24, at " << i;
        }
    }
}

TEST_F(OpcodeTable, DefaultsThePannerKeeps) {
    auto instance = createInstance();
    ASSERT_NE(nullptr, instance);
    char name[32];
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(0, instance->dispatch(effGetProgramName, 0, 0, name));
    EXPECT_EQ('\0', name[0]) << "the one program has an empty name";
    char query[] = "receiveVstMidiEvent";
    EXPECT_EQ(0, instance->dispatch(effCanDo, 0, 0, query));
    EXPECT_EQ(0, instance->dispatch(effGetPlugCategory));
    EXPECT_EQ(0, instance->dispatch(effGetTailSize));
    EXPECT_EQ(0, instance->dispatch(effGetVendorVersion));
    for (VstInt32 index : {0, 1, 2, 3, 99}) {
        EXPECT_EQ(1, instance->dispatch(effCanBeAutomated, index));
    }
    void* chunk = name;
    EXPECT_EQ(0, instance->dispatch(effGetChunk, 0, 0, &chunk));
    EXPECT_EQ(static_cast<void*>(name), chunk);
}

TEST_F(OpcodeTable, NullPointersAreSafe) {
    auto instance = createInstance();
    ASSERT_NE(nullptr, instance);
    for (VstInt32 opcode :
         {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay,
          effGetParamName, effGetEffectName, effGetVendorString, effGetProductString, effCanDo,
          effString2Parameter, effGetProgramNameIndexed, effShellGetNextPlugin,
          effGetSpeakerArrangement, effGetChunk, effEditGetRect}) {
        EXPECT_EQ(0, instance->dispatch(opcode, 0, 0, nullptr)) << "opcode " << opcode;
    }
    VstSpeakerArrangement dummy{};
    VstSpeakerArrangement* output = &dummy;
    EXPECT_EQ(0, instance->dispatch(effGetSpeakerArrangement, 0, 0, &output));
    EXPECT_EQ(nullptr, output);
}

TEST_F(OpcodeTable, EditorOpcodesAnswerZeroAndLeavePtrUntouched) {
    auto instance = createInstance();
    ASSERT_NE(nullptr, instance);
    EXPECT_EQ(0, instance->record()->flags & effFlagsHasEditor);
    long sentinel = 0x5A5A;
    for (VstInt32 opcode : {effEditGetRect, effEditOpen, effEditClose, effEditIdle, effEditKeyDown,
                            effEditKeyUp, effSetEditKnobMode}) {
        EXPECT_EQ(0, instance->dispatch(opcode, 1, 1, &sentinel, 1.0f)) << "opcode " << opcode;
    }
    EXPECT_EQ(0x5A5A, sentinel);
}

}  // namespace
