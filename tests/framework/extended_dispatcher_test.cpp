// The extended dispatcher: default answers of opcodes 25..79, the opcodes it
// hands to the core, argument routing and answer widths, the editor key
// opcodes and resume's request for MIDI events.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <set>

#include "recording_effect.h"

namespace {

// An effect that keeps every default of the framework.
class PlainEffect : public AudioEffectX {
public:
    explicit PlainEffect(audioMasterCallback callback = nullptr) : AudioEffectX(callback, 1, 1) {}
    void processReplacing(float**, float**, VstInt32) override {}
    AEffect& record() { return effectRecord; }
    void attachEditor(EffectEditor* newEditor) { editor = newEditor; }
};

VstIntPtr send(AudioEffect& effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
               void* ptr = nullptr, float opt = 0.0f) {
    AEffect* record = effect.getEffectRecord();
    return record->dispatcher(record, opcode, index, value, ptr, opt);
}

TEST(ExtendedDispatcher, DefaultAnswersOfEveryExtendedOpcode) {
    // Opcodes not listed answer 0.
    const std::map<VstInt32, VstIntPtr> nonZero = {
        {effCanBeAutomated, 1},
        {effGetVstVersion, 2400},
        {effGetCurrentMidiProgram, -1},
        {effSetTotalSampleToProcess, 1234},
    };
    for (VstInt32 opcode = 25; opcode <= 79; ++opcode) {
        PlainEffect effect;
        alignas(16) char scratch[512] = {};
        VstSpeakerArrangement* inputSlot = nullptr;
        VstIntPtr value = opcode == effGetSpeakerArrangement
                              ? reinterpret_cast<VstIntPtr>(&inputSlot)
                              : (opcode == effSetSpeakerArrangement ? 0 : 1234);
        const auto expected = nonZero.count(opcode) != 0 ? nonZero.at(opcode) : 0;
        EXPECT_EQ(expected, send(effect, opcode, 3, value, scratch, 0.5f)) << "opcode " << opcode;
    }
}

TEST(ExtendedDispatcher, AnswersAreWidenedWithTheirSign) {
    PlainEffect effect;
    EXPECT_EQ(VstIntPtr{-1}, send(effect, effGetCurrentMidiProgram, 0, 0, nullptr));
    EXPECT_EQ(VstIntPtr{-5}, send(effect, effSetTotalSampleToProcess, 0, -5));
    EXPECT_EQ(VstIntPtr{7},
              send(effect, effSetTotalSampleToProcess, 0, static_cast<VstIntPtr>(0x500000007LL)))
        << "value is narrowed to its low 32 bits";
}

TEST(ExtendedDispatcher, UnlistedOpcodesGoToTheCoreAndChangeNothing) {
    PlainEffect effect;
    alignas(16) char scratch[64] = {};
    for (VstInt32 opcode :
         {28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, 80, 81, 1000, -1, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(0, send(effect, opcode, 256, 2048, scratch, 96000.0f)) << "opcode " << opcode;
    }
    EXPECT_EQ(1024, effect.getBlockSize());
    EXPECT_EQ(44100.0f, effect.getSampleRate());
    // Core opcodes still arrive.
    EXPECT_EQ(0x4E764566, send(effect, effIdentify));
}

TEST(ExtendedDispatcher, RoutesArgumentsToItsOperations) {
    RecordingEffect effect;
    char text[32] = {};
    int files = 0;
    const VstIntPtr huge = static_cast<VstIntPtr>(0x100000000LL);

    EXPECT_EQ(1, send(effect, effSetBypass, 0, huge));
    EXPECT_EQ(1, effect.last("setBypass").first) << "the whole value is tested";
    EXPECT_EQ(1, send(effect, effSetBypass, 0, 0));
    EXPECT_EQ(0, effect.last("setBypass").first);

    EXPECT_EQ(huge + 5, send(effect, effVendorSpecific, 9, huge + 5, text, 2.5f));
    const auto& vendor = effect.last("vendorSpecific");
    EXPECT_EQ(9, vendor.first);
    EXPECT_EQ(huge + 5, vendor.second);
    EXPECT_EQ(text, vendor.pointer);
    EXPECT_EQ(2.5f, vendor.real);

    EXPECT_EQ(1, send(effect, effGetProgramNameIndexed, 4, 6, text));
    EXPECT_EQ(6, effect.last("getProgramNameIndexed").first) << "category comes from value";
    EXPECT_EQ(4, effect.last("getProgramNameIndexed").second);

    EXPECT_EQ(1, send(effect, effOfflineNotify, 2, 3, &files));
    EXPECT_EQ(3, effect.last("offlineNotify").first);
    EXPECT_EQ(1, effect.last("offlineNotify").second) << "start = index != 0";

    VstSpeakerArrangement input{}, output{};
    EXPECT_EQ(
        1, send(effect, effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output));
    EXPECT_EQ(reinterpret_cast<VstIntPtr>(&input), effect.last("setSpeakerArrangement").first);
    EXPECT_EQ(&output, effect.last("setSpeakerArrangement").pointer);

    EXPECT_EQ(-1, send(effect, effGetCurrentMidiProgram, 11, 0, text));
    EXPECT_EQ(11, effect.last("getCurrentMidiProgram").first) << "channel comes from index";

    EXPECT_EQ(0, send(effect, effSetPanLaw, 0, 2, nullptr, 0.707f));
    EXPECT_EQ(2, effect.last("setPanLaw").first);
    EXPECT_EQ(0.707f, effect.last("setPanLaw").real);
}

TEST(ExtendedDispatcher, NullTextBuffersReachNoOperation) {
    RecordingEffect effect;
    for (VstInt32 opcode :
         {effString2Parameter, effGetProgramNameIndexed, effGetEffectName, effGetVendorString,
          effGetProductString, effCanDo, effShellGetNextPlugin}) {
        EXPECT_EQ(0, send(effect, opcode, 0, 0, nullptr)) << "opcode " << opcode;
    }
    EXPECT_TRUE(effect.operations.empty());
}

TEST(ExtendedDispatcher, GetSpeakerArrangementStoresNullThroughEachSlotGiven) {
    PlainEffect effect;
    VstSpeakerArrangement dummy{};
    VstSpeakerArrangement* input = &dummy;
    VstSpeakerArrangement* output = &dummy;
    EXPECT_EQ(
        0, send(effect, effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output));
    EXPECT_EQ(nullptr, input);
    EXPECT_EQ(nullptr, output);

    output = &dummy;
    EXPECT_EQ(0, send(effect, effGetSpeakerArrangement, 0, 0, &output));
    EXPECT_EQ(nullptr, output);
    input = &dummy;
    EXPECT_EQ(
        0, send(effect, effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), nullptr));
    EXPECT_EQ(nullptr, input);
}

TEST(ExtendedDispatcher, PlugCategoryFollowsTheSynthFlag) {
    PlainEffect effect;
    EXPECT_EQ(0, send(effect, effGetPlugCategory));
    effect.setIsSynth(true);
    EXPECT_EQ(2, send(effect, effGetPlugCategory));
    effect.setIsSynth(false);
    EXPECT_EQ(0, send(effect, effGetPlugCategory));
}

TEST(ExtendedDispatcher, EditorOpcodesWithoutEditorAnswerZero) {
    PlainEffect effect;
    for (VstInt32 opcode : {effEditKeyDown, effEditKeyUp, effSetEditKnobMode}) {
        EXPECT_EQ(0, send(effect, opcode, 65, 1, nullptr, 2.0f));
    }
}

TEST(ExtendedDispatcher, KeyOpcodesBuildTheKeyRecord) {
    PlainEffect effect;
    std::vector<std::string> log;
    auto* editor = new RecordingEditor(&log);
    effect.attachEditor(editor);

    EXPECT_EQ(1, send(effect, effEditKeyDown, 'a', 0x1FF, nullptr, 258.9f));
    EXPECT_EQ('a', editor->lastKey.character);
    EXPECT_EQ(0xFF, editor->lastKey.virt);
    EXPECT_EQ(2, editor->lastKey.modifier) << "258.9 truncates to 258, low byte 2";

    EXPECT_EQ(1, send(effect, effEditKeyUp, -3, 7, nullptr, -1.5f));
    EXPECT_EQ(-3, editor->lastKey.character);
    EXPECT_EQ(7, editor->lastKey.virt);
    EXPECT_EQ(0xFF, editor->lastKey.modifier) << "-1.5 truncates to -1";

    for (float unusable :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 1e30f}) {
        EXPECT_EQ(1, send(effect, effEditKeyDown, 1, 1, nullptr, unusable));
        EXPECT_EQ(0, editor->lastKey.modifier);
    }

    EXPECT_EQ(1, send(effect, effSetEditKnobMode, 0, static_cast<VstIntPtr>(0x100000002LL)));
    EXPECT_EQ(2, editor->lastKnobMode);
    EXPECT_EQ((std::vector<std::string>{"keyDown", "keyUp", "keyDown", "keyDown", "keyDown",
                                        "setKnobMode"}),
              log);
}

class ResumeRequestsEvents : public ::testing::Test {
protected:
    void SetUp() override { RecordingHostCallback::reset(); }
    std::size_t wantMidiCalls() const {
        std::size_t count = 0;
        for (const auto& call : RecordingHostCallback::calls) {
            if (call.opcode == audioMasterWantMidi) {
                EXPECT_EQ(1, call.value);
                ++count;
            }
        }
        return count;
    }
};

TEST_F(ResumeRequestsEvents, OnlyForSynthsOrEffectsThatReceiveMidi) {
    RecordingEffect effect(RecordingHostCallback::callback);
    send(effect, effMainsChanged, 0, 1);
    EXPECT_EQ(0u, wantMidiCalls());
    EXPECT_EQ("receiveVstMidiEvent", effect.lastCanDoQuery);

    effect.canDoAnswer = 2;
    send(effect, effMainsChanged, 0, 1);
    EXPECT_EQ(0u, wantMidiCalls()) << "only an answer of exactly 1 counts";

    effect.canDoAnswer = 1;
    send(effect, effMainsChanged, 0, 1);
    EXPECT_EQ(1u, wantMidiCalls());

    RecordingHostCallback::reset();
    RecordingEffect synth(RecordingHostCallback::callback);
    synth.setIsSynth(true);
    send(synth, effMainsChanged, 0, 1);
    EXPECT_EQ(1u, wantMidiCalls());
    EXPECT_FALSE(synth.ran("canDo")) << "a synth asks without consulting canDo";
}

}  // namespace
