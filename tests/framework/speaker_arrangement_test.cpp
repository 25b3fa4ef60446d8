#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "conversion_test_effect.h"

namespace {

constexpr std::size_t kSpeakerSize = sizeof(VstSpeakerProperties);

std::size_t recordSize(VstInt32 channels) {
    return kVstSpeakerArrangementHeaderSize + kSpeakerSize * static_cast<std::size_t>(channels);
}

unsigned char* bytesOf(void* record) { return static_cast<unsigned char*>(record); }

// The text in a name field, reading no further than limit bytes.
std::string nameText(const char* name, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && name[length] != '\0') {
        ++length;
    }
    return std::string(name, length);
}

// A source arrangement in storage of exactly its own size, so that reading
// past its last speaker is caught under AddressSanitizer.
class SourceArrangement {
public:
    SourceArrangement(VstInt32 type, VstInt32 channels)
        : storage_(std::make_unique<unsigned char[]>(recordSize(channels))) {
        get()->type = type;
        get()->numChannels = channels;
        for (VstInt32 i = 0; i < channels; ++i) {
            VstSpeakerProperties& speaker = *speakerAt(i);
            const auto n = static_cast<float>(i);
            speaker.azimuth = 0.25f + n;
            speaker.elevation = -0.5f - n;
            speaker.radius = 2.0f + n;
            speaker.reserved = 7.0f + n;
            speaker.type = 100 + i;
            std::string name = "Speaker " + std::to_string(i);
            std::memcpy(speaker.name, name.c_str(), name.size() + 1);
            for (std::size_t k = 0; k < sizeof(speaker.future); ++k) {
                speaker.future[k] = static_cast<char>(static_cast<std::size_t>(i) * 28 + k + 1);
            }
        }
    }

    VstSpeakerArrangement* get() {
        return reinterpret_cast<VstSpeakerArrangement*>(storage_.get());
    }
    VstSpeakerProperties* speakerAt(VstInt32 i) {
        return vstSpeakerAt(get(), static_cast<std::size_t>(i));
    }

private:
    std::unique_ptr<unsigned char[]> storage_;
};

// A copy holds every field of its source; the name is compared as text, cut
// to 63 characters, and zero bytes follow it through byte 63.
void expectSpeakerCopied(const VstSpeakerProperties& copy, const VstSpeakerProperties& source) {
    EXPECT_EQ(copy.azimuth, source.azimuth);
    EXPECT_EQ(copy.elevation, source.elevation);
    EXPECT_EQ(copy.radius, source.radius);
    EXPECT_EQ(copy.reserved, source.reserved);
    EXPECT_EQ(copy.type, source.type);
    EXPECT_EQ(0, std::memcmp(copy.future, source.future, sizeof(copy.future)));
    const std::string name = nameText(source.name, 63);
    EXPECT_EQ(nameText(copy.name, sizeof(copy.name)), name);
    for (std::size_t k = name.size(); k < sizeof(copy.name); ++k) {
        EXPECT_EQ(copy.name[k], '\0') << "name byte " << k;
    }
}

class SpeakerArrangementTest : public testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(effect.deallocateArrangement(&slot)); }

    ConversionTestEffect effect;
    VstSpeakerArrangement* slot = nullptr;
};

TEST_F(SpeakerArrangementTest, AllocateMakesAZeroedRecordOfTheRequestedChannels) {
    for (VstInt32 channels : {0, 1, 2, 8}) {
        SCOPED_TRACE(channels);
        ASSERT_TRUE(effect.allocateArrangement(&slot, channels));
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(slot->type, 0);
        EXPECT_EQ(slot->numChannels, channels);
        // Every byte of the record is read; under AddressSanitizer this also
        // shows that the whole record lies inside the allocation.
        const unsigned char* bytes = bytesOf(slot);
        for (std::size_t i = 0; i < recordSize(channels); ++i) {
            if (i >= 4 && i < 8) {
                continue;  // numChannels
            }
            ASSERT_EQ(bytes[i], 0) << "byte " << i;
        }
    }
}

TEST_F(SpeakerArrangementTest, AllocateReplacesTheHeldArrangement) {
    ASSERT_TRUE(effect.allocateArrangement(&slot, 2));
    std::memset(slot, 0xFF, recordSize(2));

    ASSERT_TRUE(effect.allocateArrangement(&slot, 3));
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->type, 0);
    EXPECT_EQ(slot->numChannels, 3);
    for (VstInt32 i = 0; i < 3; ++i) {
        const std::vector<unsigned char> zero(kSpeakerSize, 0);
        EXPECT_EQ(0, std::memcmp(vstSpeakerAt(slot, static_cast<std::size_t>(i)), zero.data(),
                                 kSpeakerSize))
            << "speaker " << i;
    }
}

// 19173962 is the first count whose size, 8 + 112 x count, exceeds INT32_MAX;
// 38347923 gives a size that wraps to 88 in 32-bit arithmetic.
TEST_F(SpeakerArrangementTest, AllocateRefusesNegativeAndOversizedCountsAndEmptiesTheSlot) {
    for (VstInt32 channels : {-1, -112, INT32_MIN, 19173962, 38347923, INT32_MAX}) {
        SCOPED_TRACE(channels);
        ASSERT_TRUE(effect.allocateArrangement(&slot, 1));
        EXPECT_FALSE(effect.allocateArrangement(&slot, channels));
        EXPECT_EQ(slot, nullptr);
    }
}

TEST_F(SpeakerArrangementTest, DeallocateEmptiesTheSlotAndAcceptsAnEmptyOne) {
    ASSERT_TRUE(effect.allocateArrangement(&slot, 1));
    EXPECT_TRUE(effect.deallocateArrangement(&slot));
    EXPECT_EQ(slot, nullptr);
    EXPECT_TRUE(effect.deallocateArrangement(&slot));
    EXPECT_EQ(slot, nullptr);
}

TEST_F(SpeakerArrangementTest, MissingSlotIsRefusedWithoutACrash) {
    EXPECT_FALSE(effect.allocateArrangement(nullptr, 2));
    EXPECT_TRUE(effect.deallocateArrangement(nullptr));
    SourceArrangement source(1, 2);
    EXPECT_FALSE(effect.matchArrangement(nullptr, source.get()));
}

TEST(SpeakerArrangementDeathTest, RecordEndsExactlyAfterItsLastSpeaker) {
#if defined(__SANITIZE_ADDRESS__)
    ConversionTestEffect effect;
    for (VstInt32 channels : {0, 1, 3}) {
        SCOPED_TRACE(channels);
        VstSpeakerArrangement* slot = nullptr;
        ASSERT_TRUE(effect.allocateArrangement(&slot, channels));
        volatile unsigned char* bytes = bytesOf(slot);
        const std::size_t size = recordSize(channels);
        bytes[size - 1] = 1;
        EXPECT_DEATH(bytes[size] = 1, "heap-buffer-overflow");
        EXPECT_TRUE(effect.deallocateArrangement(&slot));
    }
#else
    GTEST_SKIP() << "needs AddressSanitizer to see the end of the allocation";
#endif
}

TEST(CopySpeakerTest, CopiesEveryFieldOverAFilledRecord) {
    ConversionTestEffect effect;
    SourceArrangement source(0, 1);
    VstSpeakerProperties to;
    std::memset(&to, 0x5A, sizeof(to));

    ASSERT_TRUE(effect.copySpeaker(&to, source.speakerAt(0)));
    expectSpeakerCopied(to, *source.speakerAt(0));
}

TEST(CopySpeakerTest, NamesAreCutTo63CharactersAndZeroFilled) {
    struct NameCase {
        std::string name;  // written from the start of the name field, spilling past it if long
        std::string expected;
    };
    const std::string seventy(70, 'n');
    const std::vector<NameCase> cases = {
        {"", ""},
        {"Front", "Front"},
        {std::string(62, 'a'), std::string(62, 'a')},
        {std::string(63, 'b'), std::string(63, 'b')},
        {std::string(64, 'c'), std::string(63, 'c')},
        {seventy, seventy.substr(0, 63)},
    };
    ConversionTestEffect effect;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.size());
        auto from = std::make_unique<VstSpeakerProperties>();
        std::memset(from.get(), 0, sizeof(*from));
        std::memcpy(bytesOf(from.get()) + offsetof(VstSpeakerProperties, name), c.name.c_str(),
                    c.name.size() + 1);
        VstSpeakerProperties to;
        std::memset(&to, 0x5A, sizeof(to));

        ASSERT_TRUE(effect.copySpeaker(&to, from.get()));
        EXPECT_EQ(nameText(to.name, sizeof(to.name)), c.expected);
        for (std::size_t k = c.expected.size(); k < sizeof(to.name); ++k) {
            ASSERT_EQ(to.name[k], '\0') << "name byte " << k;
        }
        EXPECT_EQ(to.type, from->type);
        EXPECT_EQ(0, std::memcmp(to.future, from->future, sizeof(to.future)));
    }
}

// A source without a single zero byte in its own allocation: reading the name
// beyond its 63 characters would run off the end under AddressSanitizer.
TEST(CopySpeakerTest, UnterminatedNameIsNotReadPastItsField) {
    ConversionTestEffect effect;
    auto from = std::make_unique<VstSpeakerProperties>();
    std::memset(from.get(), 'x', sizeof(*from));
    VstSpeakerProperties to;
    std::memset(&to, 0, sizeof(to));

    ASSERT_TRUE(effect.copySpeaker(&to, from.get()));
    EXPECT_EQ(std::string(to.name), std::string(63, 'x'));
    EXPECT_EQ(to.name[63], '\0');
    EXPECT_EQ(0, std::memcmp(to.future, from->future, sizeof(to.future)));
}

TEST(CopySpeakerTest, NullPointersAreRefusedAndNothingIsWritten) {
    ConversionTestEffect effect;
    SourceArrangement source(0, 1);
    VstSpeakerProperties to;
    std::memset(&to, 0x5A, sizeof(to));
    VstSpeakerProperties untouched;
    std::memcpy(&untouched, &to, sizeof(to));

    EXPECT_FALSE(effect.copySpeaker(&to, nullptr));
    EXPECT_FALSE(effect.copySpeaker(nullptr, source.speakerAt(0)));
    EXPECT_FALSE(effect.copySpeaker(nullptr, nullptr));
    EXPECT_EQ(0, std::memcmp(&to, &untouched, sizeof(to)));
}

TEST(CopySpeakerTest, CopyOntoItselfKeepsTheRecord) {
    ConversionTestEffect effect;
    SourceArrangement source(0, 1);
    VstSpeakerProperties before;
    std::memcpy(&before, source.speakerAt(0), sizeof(before));

    ASSERT_TRUE(effect.copySpeaker(source.speakerAt(0), source.speakerAt(0)));
    EXPECT_EQ(0, std::memcmp(source.speakerAt(0), &before, sizeof(before)));
}

TEST_F(SpeakerArrangementTest, MatchWithoutSourceLeavesTheSlot) {
    EXPECT_FALSE(effect.matchArrangement(&slot, nullptr));
    EXPECT_EQ(slot, nullptr);

    ASSERT_TRUE(effect.allocateArrangement(&slot, 2));
    slot->type = 9;
    VstSpeakerArrangement* const held = slot;
    EXPECT_FALSE(effect.matchArrangement(&slot, nullptr));
    EXPECT_EQ(slot, held);
    EXPECT_EQ(slot->type, 9);
    EXPECT_EQ(slot->numChannels, 2);
}

TEST_F(SpeakerArrangementTest, MatchOfNoChannelsGivesAHeaderWithTheSourceType) {
    SourceArrangement source(5, 0);
    ASSERT_TRUE(effect.matchArrangement(&slot, source.get()));
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->type, 5);
    EXPECT_EQ(slot->numChannels, 0);
}

TEST_F(SpeakerArrangementTest, MatchCopiesTypeAndEverySpeaker) {
    SourceArrangement source(-3, 4);
    std::memset(source.speakerAt(2)->name, 'q', sizeof(VstSpeakerProperties::name));
    ASSERT_TRUE(effect.allocateArrangement(&slot, 1));  // released by the match

    ASSERT_TRUE(effect.matchArrangement(&slot, source.get()));
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->type, -3);
    ASSERT_EQ(slot->numChannels, 4);
    for (VstInt32 i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        expectSpeakerCopied(*vstSpeakerAt(slot, static_cast<std::size_t>(i)), *source.speakerAt(i));
    }
    EXPECT_EQ(std::string(vstSpeakerAt(slot, 2)->name), std::string(63, 'q'));
}

TEST_F(SpeakerArrangementTest, MatchOfTheHeldArrangementKeepsIt) {
    ASSERT_TRUE(effect.allocateArrangement(&slot, 2));
    slot->type = 4;
    VstSpeakerArrangement* const held = slot;

    EXPECT_TRUE(effect.matchArrangement(&slot, slot));
    EXPECT_EQ(slot, held);
    EXPECT_EQ(slot->type, 4);
    EXPECT_EQ(slot->numChannels, 2);
}

// Records the three operations that matchArrangement calls and can make one fail.
class RecordingSpeakerEffect : public ConversionTestEffect {
public:
    bool deallocateArrangement(VstSpeakerArrangement** slot) override {
        calls.push_back("deallocate");
        return failing != "deallocate" && ConversionTestEffect::deallocateArrangement(slot);
    }
    bool allocateArrangement(VstSpeakerArrangement** slot, VstInt32 channelCount) override {
        calls.push_back("allocate " + std::to_string(channelCount));
        return failing != "allocate" &&
               ConversionTestEffect::allocateArrangement(slot, channelCount);
    }
    bool copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) override {
        const auto index = static_cast<int>(copies.size());
        calls.push_back("copy " + std::to_string(index));
        copies.push_back({to, from});
        return failing != "copy " + std::to_string(index) &&
               ConversionTestEffect::copySpeaker(to, from);
    }

    std::string failing;
    std::vector<std::string> calls;
    std::vector<std::pair<VstSpeakerProperties*, VstSpeakerProperties*>> copies;
};

TEST(MatchArrangementOverrideTest, CallsTheVirtualOperationsInOrder) {
    struct OverrideCase {
        std::string failing;
        bool answer;
        std::vector<std::string> calls;
    };
    const std::vector<OverrideCase> cases = {
        {"", true, {"deallocate", "allocate 3", "copy 0", "copy 1", "copy 2"}},
        {"deallocate", false, {"deallocate"}},
        {"allocate", false, {"deallocate", "allocate 3"}},
        {"copy 1", false, {"deallocate", "allocate 3", "copy 0", "copy 1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("failing: " + c.failing);
        RecordingSpeakerEffect effect;
        SourceArrangement source(2, 3);
        VstSpeakerArrangement* slot = nullptr;
        effect.failing = c.failing;

        EXPECT_EQ(effect.matchArrangement(&slot, source.get()), c.answer);
        EXPECT_EQ(effect.calls, c.calls);
        for (std::size_t i = 0; i < effect.copies.size(); ++i) {
            ASSERT_NE(slot, nullptr);
            EXPECT_EQ(effect.copies[i].first, vstSpeakerAt(slot, i));
            EXPECT_EQ(effect.copies[i].second, source.speakerAt(static_cast<VstInt32>(i)));
        }
        effect.failing.clear();
        EXPECT_TRUE(effect.deallocateArrangement(&slot));
    }
}

}  // namespace
