// The base effect through a recording test effect: construction, the core
// opcodes, the record's thunks, flag setters and the base host queries.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "recording_effect.h"
#include "tests/caller_float_modes.h"

namespace {

class CoreDispatcher : public ::testing::Test {
protected:
    void SetUp() override { RecordingHostCallback::reset(); }

    // Sends an opcode the way a host does: through the record's dispatcher thunk.
    VstIntPtr send(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
        AEffect* record = effect->getEffectRecord();
        return record->dispatcher(record, opcode, index, value, ptr, opt);
    }

    std::unique_ptr<RecordingEffect> effect = std::make_unique<RecordingEffect>();
};

TEST_F(CoreDispatcher, ConstructionFillsFieldsAndRecord) {
    EXPECT_EQ(0, send(effGetProgram));
    EXPECT_EQ(44100.0f, effect->getSampleRate());
    EXPECT_EQ(1024, effect->getBlockSize());
    EXPECT_EQ(nullptr, effect->getEditor());

    const AEffect& record = *effect->getEffectRecord();
    EXPECT_EQ(&record, &effect->record());
    EXPECT_EQ(0x56737450, record.magic);
    EXPECT_EQ(2, record.numPrograms);
    EXPECT_EQ(3, record.numParams);
    EXPECT_EQ(1, record.numInputs);
    EXPECT_EQ(2, record.numOutputs);
    EXPECT_EQ(0x10, record.flags);
    EXPECT_EQ(1.0f, record.ioRatio);
    EXPECT_EQ(effect.get(), static_cast<AudioEffect*>(record.object));
    EXPECT_EQ(nullptr, record.user);
    EXPECT_EQ(0x4E6F4566, record.uniqueID);
    EXPECT_EQ(1, record.version);
    EXPECT_NE(nullptr, record.dispatcher);
    EXPECT_NE(nullptr, record.process);
    EXPECT_NE(nullptr, record.setParameter);
    EXPECT_NE(nullptr, record.getParameter);
    EXPECT_NE(nullptr, record.processReplacing);
    EXPECT_NE(nullptr, record.processDoubleReplacing);
    const char zeros[sizeof record.future] = {};
    EXPECT_EQ(0, std::memcmp(zeros, record.future, sizeof zeros));
    EXPECT_TRUE(effect->operations.empty()) << "the constructor calls no operation";
}

TEST_F(CoreDispatcher, ThunksReachTheOverriddenOperations) {
    AEffect* record = effect->getEffectRecord();
    float sample = 0.5f;
    float* channels[] = {&sample, &sample};
    double wide = 0.5;
    double* wideChannels[] = {&wide, &wide};

    record->setParameter(record, 2, 0.75f);
    EXPECT_EQ(0.5f, record->getParameter(record, 2));
    record->processReplacing(record, channels, channels, 17);
    record->processDoubleReplacing(record, wideChannels, wideChannels, 18);
    record->process(record, channels, channels, 19);

    const auto& set = effect->last("setParameter");
    EXPECT_EQ(2, set.first);
    EXPECT_EQ(0.75f, set.real);
    EXPECT_TRUE(effect->ran("getParameter"));
    EXPECT_EQ(17, effect->last("processReplacing").first);
    EXPECT_EQ(channels, effect->last("processReplacing").pointer);
    EXPECT_EQ(18, effect->last("processDoubleReplacing").first);
    EXPECT_EQ(19, effect->last("processAccumulating").first);
}

// The processing boundary: a block reaches the effect only with frames and
// every channel the record announces (2 in, 2 out here); anything else
// reaches replacingBlockSkipped, once per call. The double and accumulating
// entries get the same check.
TEST_F(CoreDispatcher, ProcessingBoundaryPassesOnlyCompleteBlocks) {
    AEffect* record = effect->getEffectRecord();
    effect->setNumInputs(2);
    float sample = 0.5f;
    float* both[] = {&sample, &sample};
    float* noFirst[] = {nullptr, &sample};
    float* noSecond[] = {&sample, nullptr};
    double wide = 0.5;
    double* wideBoth[] = {&wide, &wide};
    double* wideNoSecond[] = {&wide, nullptr};
    struct Case {
        float** inputs;
        float** outputs;
        VstInt32 frames;
        bool passed;
    };
    const Case cases[] = {
        {both, both, 1, true},      {both, both, 0, false},        {both, both, -5, false},
        {nullptr, both, 8, false},  {both, nullptr, 8, false},     {noFirst, both, 8, false},
        {both, noSecond, 8, false}, {noSecond, noFirst, 8, false}, {both, both, 0x7FFFFFFF, true}};
    for (const Case& c : cases) {
        effect->operations.clear();
        record->processReplacing(record, c.inputs, c.outputs, c.frames);
        record->process(record, c.inputs, c.outputs, c.frames);
        double** wideInputs = c.inputs == both      ? wideBoth
                              : c.inputs == nullptr ? nullptr
                                                    : wideNoSecond;
        record->processDoubleReplacing(record, wideInputs, wideBoth, c.frames);
        const bool wideComplete = c.frames > 0 && wideInputs == wideBoth;
        ASSERT_EQ(c.passed ? 3u : (wideComplete ? 2u : 1u), effect->operations.size()) << c.frames;
        EXPECT_EQ(c.passed, effect->ran("processReplacing")) << c.frames;
        EXPECT_EQ(!c.passed, effect->ran("replacingBlockSkipped")) << c.frames;
        EXPECT_EQ(c.passed, effect->ran("processAccumulating")) << c.frames;
        EXPECT_EQ(wideComplete, effect->ran("processDoubleReplacing")) << c.frames;
    }
}

#if DRIFTON_FLOAT_MODE_CONTROLLED
// Flush-to-zero (and denormals-are-zero) inside the call, the caller's
// control bits (not the sticky exception flags) back after it, on every path.
TEST_F(CoreDispatcher, ProcessingBoundarySetsAndRestoresTheFloatingPointMode) {
    AEffect* record = effect->getEffectRecord();
    float sample = 0.5f;
    float* channels[] = {&sample, &sample};
    constexpr floatmode::Control kControlBits = floatmode::kModeBits;
    constexpr floatmode::Control kFlushBits = pantest::kFlushInside;
    const floatmode::Control original = floatmode::readControl();
    for (const floatmode::Control callerMode : pantest::kCallerFloatModes) {
        for (const VstInt32 frames : {16, 0}) {
            effect->floatModeInside = 0;
            floatmode::writeControl(callerMode);
            record->processReplacing(record, channels, channels, frames);
            const floatmode::Control after = floatmode::readControl();
            floatmode::writeControl(original);
            EXPECT_EQ(callerMode & kControlBits, after & kControlBits) << std::hex << callerMode;
            if (frames > 0) {
                EXPECT_EQ(kFlushBits, effect->floatModeInside & kFlushBits)
                    << std::hex << callerMode;
                EXPECT_EQ(callerMode & ~kFlushBits & kControlBits,
                          effect->floatModeInside & ~kFlushBits & kControlBits);
            }
        }
    }
}
#endif

TEST_F(CoreDispatcher, ExceptionsNeverLeaveAThunk) {
    effect->throwFromSetParameter = true;
    AEffect* record = effect->getEffectRecord();
    EXPECT_NO_THROW(record->setParameter(record, 0, 1.0f));
    EXPECT_TRUE(effect->ran("setParameter"));
}

TEST_F(CoreDispatcher, CloseRunsCloseThenDestroysTheObjectAndAnswersOne) {
    bool destroyed = false;
    RecordingEffect* raw = effect.release();
    raw->destroyedFlag = &destroyed;
    std::vector<std::string> editorLog;
    raw->attachEditor(new RecordingEditor(&editorLog));  // owned and released by the effect
    AEffect* record = raw->getEffectRecord();
    EXPECT_EQ(1, record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f));
    EXPECT_TRUE(destroyed);
    // The core dispatcher itself answers 0 to effClose and only calls close.
    auto other = std::make_unique<RecordingEffect>();
    EXPECT_EQ(0, other->AudioEffect::dispatcher(effClose, 0, 0, nullptr, 0.0f));
    EXPECT_TRUE(other->ran("close"));
}

TEST_F(CoreDispatcher, LifecycleAndConfigurationOpcodes) {
    EXPECT_EQ(0, send(effOpen));
    EXPECT_TRUE(effect->ran("open"));

    EXPECT_EQ(0, send(effSetSampleRate, 0, 0, nullptr, 48000.0f));
    EXPECT_EQ(48000.0f, effect->getSampleRate());
    EXPECT_EQ(0, send(effSetBlockSize, 0, 512));
    EXPECT_EQ(512, effect->getBlockSize());
}

TEST_F(CoreDispatcher, MainsChangedTestsTheWholeValue) {
    struct Case {
        VstIntPtr value;
        const char* expected;
    };
    const Case cases[] = {{0, "suspend"},
                          {1, "resume"},
                          {-1, "resume"},
                          {static_cast<VstIntPtr>(0x100000000LL), "resume"}};
    for (const Case& c : cases) {
        effect->operations.clear();
        EXPECT_EQ(0, send(effMainsChanged, 0, c.value));
        ASSERT_FALSE(effect->operations.empty());
        EXPECT_EQ(c.expected, effect->operations.front().name) << "value " << c.value;
    }
}

TEST_F(CoreDispatcher, SetProgramComparesTheFullValueSigned) {
    // programCount is 2 for the recording effect.
    EXPECT_EQ(0, send(effSetProgram, 0, 2));
    EXPECT_FALSE(effect->ran("setProgram"));
    EXPECT_EQ(0, effect->currentProgramField());

    EXPECT_EQ(0, send(effSetProgram, 0, static_cast<VstIntPtr>(0x100000001LL)));
    EXPECT_FALSE(effect->ran("setProgram")) << "low 32 bits would be 1, but the value is huge";

    EXPECT_EQ(0, send(effSetProgram, 0, 1));
    EXPECT_EQ(1, effect->currentProgramField());

    EXPECT_EQ(0, send(effSetProgram, 0, -5));
    EXPECT_EQ(-5, send(effGetProgram)) << "no lower bound, and the answer is sign-extended";
}

TEST_F(CoreDispatcher, IdentifyAndUnhandledOpcodes) {
    EXPECT_EQ(0x4E764566, send(effIdentify, 3, 77, this, 1.0f));
    EXPECT_EQ(0, send(effGetVu));
    EXPECT_FALSE(effect->ran("getVu"));
    for (VstInt32 opcode : {effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep}) {
        EXPECT_EQ(0, send(opcode));
    }
    // Opcodes outside 0..24 reach nothing in the core dispatcher.
    for (VstInt32 opcode : {25, 26, 58, 80, -1, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(0, effect->AudioEffect::dispatcher(opcode, 1, 1, nullptr, 1.0f));
    }
    EXPECT_TRUE(effect->operations.empty());
}

TEST_F(CoreDispatcher, ChunksPassIsPresetAndSignExtendTheirAnswer) {
    void* data = this;
    EXPECT_EQ(-7, send(effGetChunk, 5, 0, &data));
    EXPECT_EQ(1, effect->last("getChunk").first);
    EXPECT_EQ(&data, effect->last("getChunk").pointer);
    EXPECT_EQ(-7, send(effGetChunk, 0, 0, &data));
    EXPECT_EQ(0, effect->last("getChunk").first);

    char bytes[4] = {};
    EXPECT_EQ(-8, send(effSetChunk, 1, static_cast<VstIntPtr>(0x100000004LL), bytes));
    EXPECT_EQ(4, effect->last("setChunk").first) << "value narrowed to 32 bits";
    EXPECT_EQ(1, effect->last("setChunk").second);

    RecordingEffect plain;
    void* untouched = this;
    EXPECT_EQ(0, plain.AudioEffect::getChunk(&untouched, false));
    EXPECT_EQ(this, untouched);
}

TEST_F(CoreDispatcher, TextOpcodesWriteEmptyTextsAndSkipNullBuffers) {
    for (VstInt32 opcode :
         {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        char text[9];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(0, send(opcode, 1, 0, text));
        EXPECT_EQ('\0', text[0]) << "opcode " << opcode;
        EXPECT_EQ('x', text[1]) << "only the terminator is written";
    }
    effect->operations.clear();
    for (VstInt32 opcode : {effSetProgramName, effGetProgramName, effGetParamLabel,
                            effGetParamDisplay, effGetParamName}) {
        EXPECT_EQ(0, send(opcode, 1, 0, nullptr));
    }
    EXPECT_TRUE(effect->operations.empty()) << "a null text buffer reaches no operation";
}

TEST_F(CoreDispatcher, EditorOpcodesAnswerZeroWithoutAnEditor) {
    int rect = 42;
    for (VstInt32 opcode : {effEditGetRect, effEditOpen, effEditClose, effEditIdle}) {
        EXPECT_EQ(0, send(opcode, 0, 0, &rect));
    }
    EXPECT_EQ(42, rect);
}

TEST_F(CoreDispatcher, EditorOpcodesReachAnAttachedEditor) {
    std::vector<std::string> log;
    auto* editor = new RecordingEditor(&log);
    effect->attachEditor(editor);
    int rect = 0;
    EXPECT_EQ(1, send(effEditGetRect, 0, 0, &rect));
    EXPECT_EQ(&rect, editor->lastPointer);
    EXPECT_EQ(1, send(effEditOpen, 0, 0, &rect));
    EXPECT_EQ(0, send(effEditClose));
    EXPECT_EQ(0, send(effEditIdle));
    EXPECT_EQ((std::vector<std::string>{"getRect", "open", "close", "idle"}), log);
}

TEST(FlagSetters, EachChangesExactlyItsBit) {
    struct Case {
        void (*set)(RecordingEffect&, bool);
        VstInt32 bit;
    };
    const Case cases[] = {
        {[](RecordingEffect& e, bool s) { e.setHasClip(s); }, 0x2},
        {[](RecordingEffect& e, bool s) { e.setHasVu(s); }, 0x4},
        {[](RecordingEffect& e, bool s) { e.setCanMono(s); }, 0x8},
        {[](RecordingEffect& e, bool s) { e.canProcessReplacing(s); }, 0x10},
        {[](RecordingEffect& e, bool s) { e.programsAreChunks(s); }, 0x20},
        {[](RecordingEffect& e, bool s) { e.setIsSynth(s); }, 0x100},
        {[](RecordingEffect& e, bool s) { e.setNoTail(s); }, 0x200},
        {[](RecordingEffect& e, bool s) { e.setExtIsAsync(s); }, 0x400},
        {[](RecordingEffect& e, bool s) { e.setExtHasBuffer(s); }, 0x800},
        {[](RecordingEffect& e, bool s) { e.canDoubleReplacing(s); }, 0x1000},
    };
    for (const Case& c : cases) {
        for (VstInt32 start : {0, ~0, 0x10}) {
            RecordingEffect effect;
            effect.record().flags = start;
            c.set(effect, true);
            EXPECT_EQ(start | c.bit, effect.record().flags) << "bit " << c.bit;
            c.set(effect, false);
            EXPECT_EQ(start & ~c.bit, effect.record().flags) << "bit " << c.bit;
        }
    }
    RecordingEffect effect;
    effect.canDoubleReplacing(true);
    EXPECT_EQ(0x1010, effect.record().flags);
    effect.canProcessReplacing(false);
    EXPECT_EQ(0x1000, effect.record().flags);
}

TEST(RecordSetters, WriteTheirFields) {
    RecordingEffect effect;
    effect.setUniqueID(0x12345678);
    effect.setNumInputs(6);
    effect.setNumOutputs(8);
    effect.setInitialDelay(64);
    effect.setRealQualities(3);
    effect.setOffQualities(4);
    const AEffect& record = effect.record();
    EXPECT_EQ(0x12345678, record.uniqueID);
    EXPECT_EQ(6, record.numInputs);
    EXPECT_EQ(8, record.numOutputs);
    EXPECT_EQ(64, record.initialDelay);
    EXPECT_EQ(3, record.realQualities);
    EXPECT_EQ(4, record.offQualities);
}

}  // namespace
