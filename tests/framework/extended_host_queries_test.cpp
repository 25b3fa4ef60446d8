// Host-query wrappers of the extended effect, as a table: each row names the
// call, what the host must receive, and how the answer comes back.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "recording_effect.h"

namespace {

using Calls = RecordingHostCallback;

class QueryEffect : public AudioEffectX {
public:
    explicit QueryEffect(audioMasterCallback callback) : AudioEffectX(callback, 1, 1) {}
    void processReplacing(float**, float**, VstInt32) override {}
};

// How a wrapper turns the host's pointer-sized answer into its result.
enum class Conversion { Bool, ZeroOne, AsIs };

char text[16];
int token;
void* const tokenPtr = &token;

struct QueryRow {
    const char* name;
    std::function<VstIntPtr(QueryEffect&)> call;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
    Conversion conversion;
};

// ctest lists a query by its name.
void PrintTo(const QueryRow& row, std::ostream* os) { *os << row.name; }

VstIntPtr fromPointer(const void* pointer) { return reinterpret_cast<VstIntPtr>(pointer); }

const std::vector<QueryRow>& queryTable() {
    auto* file = static_cast<VstFileSelect*>(tokenPtr);
    auto* task = static_cast<VstOfflineTask*>(tokenPtr);
    auto* audioFile = static_cast<VstAudioFile*>(tokenPtr);
    auto* window = static_cast<VstWindow*>(tokenPtr);
    static const std::vector<QueryRow> rows = {
        {"beginEdit", [](QueryEffect& e) { return VstIntPtr{e.beginEdit(3)}; },
         audioMasterBeginEdit, 3, 0, nullptr, 0.0f, Conversion::Bool},
        {"endEdit", [](QueryEffect& e) { return VstIntPtr{e.endEdit(-2)}; }, audioMasterEndEdit, -2,
         0, nullptr, 0.0f, Conversion::Bool},
        {"ioChanged", [](QueryEffect& e) { return VstIntPtr{e.ioChanged()}; }, audioMasterIOChanged,
         0, 0, nullptr, 0.0f, Conversion::Bool},
        {"getInputLatency", [](QueryEffect& e) { return e.getInputLatency(); },
         audioMasterGetInputLatency, 0, 0, nullptr, 0.0f, Conversion::AsIs},
        {"getOutputLatency", [](QueryEffect& e) { return e.getOutputLatency(); },
         audioMasterGetOutputLatency, 0, 0, nullptr, 0.0f, Conversion::AsIs},
        {"getTimeInfo", [](QueryEffect& e) { return fromPointer(e.getTimeInfo(0x600)); },
         audioMasterGetTime, 0, 0x600, nullptr, 0.0f, Conversion::AsIs},
        {"getCurrentProcessLevel", [](QueryEffect& e) { return e.getCurrentProcessLevel(); },
         audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f, Conversion::AsIs},
        {"getAutomationState", [](QueryEffect& e) { return e.getAutomationState(); },
         audioMasterGetAutomationState, 0, 0, nullptr, 0.0f, Conversion::AsIs},
        {"getHostVendorString",
         [](QueryEffect& e) { return VstIntPtr{e.getHostVendorString(text)}; },
         audioMasterGetVendorString, 0, 0, text, 0.0f, Conversion::Bool},
        {"getHostProductString",
         [](QueryEffect& e) { return VstIntPtr{e.getHostProductString(text)}; },
         audioMasterGetProductString, 0, 0, text, 0.0f, Conversion::Bool},
        {"getHostVendorVersion", [](QueryEffect& e) { return e.getHostVendorVersion(); },
         audioMasterGetVendorVersion, 0, 0, nullptr, 0.0f, Conversion::AsIs},
        {"hostVendorSpecific",
         [](QueryEffect& e) { return e.hostVendorSpecific(7, -9, tokenPtr, 1.5f); },
         audioMasterVendorSpecific, 7, -9, tokenPtr, 1.5f, Conversion::AsIs},
        {"canHostDo", [](QueryEffect& e) { return VstIntPtr{e.canHostDo(text)}; }, audioMasterCanDo,
         0, 0, text, 0.0f, Conversion::ZeroOne},
        {"getHostLanguage", [](QueryEffect& e) { return e.getHostLanguage(); },
         audioMasterGetLanguage, 0, 0, nullptr, 0.0f, Conversion::AsIs},
        {"getDirectory", [](QueryEffect& e) { return fromPointer(e.getDirectory()); },
         audioMasterGetDirectory, 0, 0, nullptr, 0.0f, Conversion::AsIs},
        {"updateDisplay", [](QueryEffect& e) { return VstIntPtr{e.updateDisplay()}; },
         audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f, Conversion::Bool},
        {"sizeWindow", [](QueryEffect& e) { return VstIntPtr{e.sizeWindow(640, -480)}; },
         audioMasterSizeWindow, 640, -480, nullptr, 0.0f, Conversion::Bool},
        {"openFileSelector", [file](QueryEffect& e) { return VstIntPtr{e.openFileSelector(file)}; },
         audioMasterOpenFileSelector, 0, 0, tokenPtr, 0.0f, Conversion::Bool},
        {"closeFileSelector",
         [file](QueryEffect& e) { return VstIntPtr{e.closeFileSelector(file)}; },
         audioMasterCloseFileSelector, 0, 0, tokenPtr, 0.0f, Conversion::Bool},
        {"offlineRead", [task](QueryEffect& e) { return VstIntPtr{e.offlineRead(task, 5, true)}; },
         audioMasterOfflineRead, 1, 5, tokenPtr, 0.0f, Conversion::Bool},
        {"offlineWrite", [task](QueryEffect& e) { return VstIntPtr{e.offlineWrite(task, 6)}; },
         audioMasterOfflineWrite, 0, 6, tokenPtr, 0.0f, Conversion::Bool},
        {"offlineStart",
         [audioFile](QueryEffect& e) { return VstIntPtr{e.offlineStart(audioFile, 4, 2)}; },
         audioMasterOfflineStart, 2, 4, tokenPtr, 0.0f, Conversion::Bool},
        {"offlineGetCurrentPass",
         [](QueryEffect& e) { return VstIntPtr{e.offlineGetCurrentPass()}; },
         audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0.0f, Conversion::ZeroOne},
        {"offlineGetCurrentMetaPass",
         [](QueryEffect& e) { return VstIntPtr{e.offlineGetCurrentMetaPass()}; },
         audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0.0f, Conversion::ZeroOne},
        {"wantEvents", [](QueryEffect& e) { return e.wantEvents(-1); }, audioMasterWantMidi, 0, -1,
         nullptr, 0.0f, Conversion::AsIs},
        {"tempoAt", [](QueryEffect& e) { return e.tempoAt(44100); }, audioMasterTempoAt, 0, 44100,
         nullptr, 0.0f, Conversion::AsIs},
        {"getNumAutomatableParameters",
         [](QueryEffect& e) { return e.getNumAutomatableParameters(); },
         audioMasterGetNumAutomatableParameters, 0, 0, nullptr, 0.0f, Conversion::AsIs},
        {"getParameterQuantization", [](QueryEffect& e) { return e.getParameterQuantization(); },
         audioMasterGetParameterQuantization, 0, 0, nullptr, 0.0f, Conversion::AsIs},
        {"needIdle", [](QueryEffect& e) { return VstIntPtr{e.needIdle()}; }, audioMasterNeedIdle, 0,
         0, nullptr, 0.0f, Conversion::Bool},
        {"getPreviousPlug", [](QueryEffect& e) { return fromPointer(e.getPreviousPlug()); },
         audioMasterGetPreviousPlug, 0, 0, nullptr, 0.0f, Conversion::AsIs},
        {"getNextPlug", [](QueryEffect& e) { return fromPointer(e.getNextPlug()); },
         audioMasterGetNextPlug, 0, 0, nullptr, 0.0f, Conversion::AsIs},
        {"willProcessReplacing", [](QueryEffect& e) { return e.willProcessReplacing(); },
         audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0.0f, Conversion::AsIs},
        {"setOutputSampleRate", [](QueryEffect& e) { return e.setOutputSampleRate(48000.0f); },
         audioMasterSetOutputSampleRate, 0, 0, nullptr, 48000.0f, Conversion::AsIs},
        {"getInputSpeakerArrangement",
         [](QueryEffect& e) { return fromPointer(e.getInputSpeakerArrangement()); },
         audioMasterGetInputSpeakerArrangement, 0, 0, nullptr, 0.0f, Conversion::AsIs},
        {"getOutputSpeakerArrangement",
         [](QueryEffect& e) { return fromPointer(e.getOutputSpeakerArrangement()); },
         audioMasterGetOutputSpeakerArrangement, 0, 0, nullptr, 0.0f, Conversion::AsIs},
        {"openWindow", [window](QueryEffect& e) { return fromPointer(e.openWindow(window)); },
         audioMasterOpenWindow, 0, 0, tokenPtr, 0.0f, Conversion::AsIs},
        {"closeWindow", [window](QueryEffect& e) { return VstIntPtr{e.closeWindow(window)}; },
         audioMasterCloseWindow, 0, 0, tokenPtr, 0.0f, Conversion::Bool},
        {"getChunkFile", [](QueryEffect& e) { return VstIntPtr{e.getChunkFile(tokenPtr)}; },
         audioMasterGetChunkFile, 0, 0, tokenPtr, 0.0f, Conversion::Bool},
    };
    return rows;
}

class ExtendedHostQueries : public ::testing::TestWithParam<QueryRow> {
protected:
    void SetUp() override { Calls::reset(); }
};

TEST_P(ExtendedHostQueries, CallTheHostOnceWithTheirArguments) {
    const QueryRow& row = GetParam();
    QueryEffect effect(Calls::callback);
    Calls::answer = 0;
    EXPECT_EQ(0, row.call(effect));
    ASSERT_EQ(1u, Calls::calls.size());
    const auto& call = Calls::calls[0];
    EXPECT_EQ(effect.getEffectRecord(), call.effect);
    EXPECT_EQ(row.opcode, call.opcode);
    EXPECT_EQ(row.index, call.index);
    EXPECT_EQ(row.value, call.value);
    EXPECT_EQ(row.ptr, call.ptr);
    EXPECT_EQ(row.opt, call.opt);
}

TEST_P(ExtendedHostQueries, ConvertTheAnswer) {
    const QueryRow& row = GetParam();
    QueryEffect effect(Calls::callback);
    // Non-zero only in the high half: a boolean must still see it.
    const VstIntPtr highOnly = static_cast<VstIntPtr>(0x100000000LL);
    for (VstIntPtr answer : {VstIntPtr{-1}, highOnly, VstIntPtr{0x12345}}) {
        Calls::answer = answer;
        const VstIntPtr expected = row.conversion == Conversion::AsIs ? answer : 1;
        EXPECT_EQ(expected, row.call(effect)) << "answer " << answer;
    }
}

TEST_P(ExtendedHostQueries, WithoutHostMakeNoCallAndAnswerZero) {
    QueryEffect effect(nullptr);
    EXPECT_EQ(0, GetParam().call(effect));
}

INSTANTIATE_TEST_SUITE_P(Wrappers, ExtendedHostQueries, ::testing::ValuesIn(queryTable()),
                         [](const ::testing::TestParamInfo<QueryRow>& row) {
                             return std::string(row.param.name);
                         });

class HostQueryRules : public ::testing::Test {
protected:
    void SetUp() override { Calls::reset(); }
    QueryEffect effect{Calls::callback};
    QueryEffect hostless{nullptr};
};

TEST_F(HostQueryRules, NullPointersAnswerFalseWithoutACall) {
    Calls::answer = 1;
    EXPECT_FALSE(effect.openFileSelector(nullptr));
    EXPECT_FALSE(effect.closeFileSelector(nullptr));
    EXPECT_FALSE(effect.getChunkFile(nullptr));
    EXPECT_TRUE(Calls::calls.empty());
}

TEST_F(HostQueryRules, UpdateSampleRateTakesOnlyAPositiveAnswer) {
    EXPECT_EQ(44100.0, hostless.updateSampleRate());

    Calls::answer = 48000;
    EXPECT_EQ(48000.0, effect.updateSampleRate());
    EXPECT_EQ(48000.0f, effect.getSampleRate());
    for (VstIntPtr refused : {VstIntPtr{0}, VstIntPtr{-1}}) {
        Calls::answer = refused;
        EXPECT_EQ(48000.0, effect.updateSampleRate());
    }
    Calls::answer = static_cast<VstIntPtr>(0x100000000LL);
    EXPECT_EQ(4294967296.0, effect.updateSampleRate()) << "the whole answer counts";
    EXPECT_EQ(audioMasterGetSampleRate, Calls::calls.back().opcode);
}

TEST_F(HostQueryRules, UpdateBlockSizeTakesOnlyAPositiveLowHalf) {
    EXPECT_EQ(1024, hostless.updateBlockSize());

    Calls::answer = 256;
    EXPECT_EQ(256, effect.updateBlockSize());
    EXPECT_EQ(256, effect.getBlockSize());
    for (VstIntPtr refused :
         {VstIntPtr{0}, VstIntPtr{-64}, static_cast<VstIntPtr>(0x100000000LL)}) {
        Calls::answer = refused;
        EXPECT_EQ(256, effect.updateBlockSize()) << "answer " << refused;
    }
    EXPECT_EQ(audioMasterGetBlockSize, Calls::calls.back().opcode);
}

TEST_F(HostQueryRules, SetBlockSizeAndSampleRateStoresBothUnchecked) {
    hostless.setBlockSizeAndSampleRate(-3, 0.0f);
    EXPECT_EQ(-3, hostless.getBlockSize());
    EXPECT_EQ(0.0f, hostless.getSampleRate());
}

TEST_F(HostQueryRules, LegacyOperationsGiveTheirFixedAnswers) {
    EXPECT_EQ(0, effect.legacyPassCount());
    EXPECT_EQ(0, effect.legacyMetaPassCount());
    EXPECT_EQ(1, effect.legacyCategoryCount());
    EXPECT_FALSE(effect.legacyCopyProgram(1));
    EXPECT_EQ(0, effect.legacyPositionReport());
    EXPECT_EQ(nullptr, effect.legacyDestinationBuffer());
    EXPECT_FALSE(effect.legacyErrorText(text));
    EXPECT_EQ(nullptr, effect.legacyIcon());
    EXPECT_FALSE(effect.legacyViewPosition(1, 2));
    EXPECT_EQ(0, effect.legacyIdle());
    EXPECT_FALSE(effect.legacyKeysRequired());
    EXPECT_TRUE(Calls::calls.empty());
}

}  // namespace
