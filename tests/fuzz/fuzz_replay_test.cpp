// Replays every seed in fuzz/corpus/<target>/ and every input a fuzzer ever
// failed on in fuzz/regressions/<target>/ through the fuzz targets' own code,
// so each preset's test run holds the plug-in to what the fuzzers checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/harness/fuzz_session.h"
#include "fuzz/targets.h"

namespace {

namespace fs = std::filesystem;
using drifton::fuzz::LimitedBuffer;

struct ReplayInput {
    drifton::fuzz::Target target;
    fs::path file;
};

// ctest lists an input by its file.
void PrintTo(const ReplayInput& input, std::ostream* os) { *os << input.file.string(); }

std::vector<ReplayInput> collectInputs() {
    std::vector<ReplayInput> inputs;
    for (const auto& target : drifton::fuzz::kTargets) {
        for (const char* folder : {"corpus", "regressions"}) {
            const fs::path directory = fs::path(DRIFTON_FUZZ_DIR) / folder / target.name;
            if (!fs::is_directory(directory)) {
                continue;
            }
            for (const auto& entry : fs::directory_iterator(directory)) {
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
                    inputs.push_back({target, entry.path()});
                }
            }
        }
    }
    std::sort(inputs.begin(), inputs.end(),
              [](const ReplayInput& a, const ReplayInput& b) { return a.file < b.file; });
    return inputs;
}

std::vector<std::uint8_t> readFile(const fs::path& file) {
    std::ifstream stream(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

class FuzzReplay : public ::testing::TestWithParam<ReplayInput> {};

TEST_P(FuzzReplay, RunsWithoutProblems) {
    const ReplayInput& input = GetParam();
    const std::vector<std::uint8_t> bytes = readFile(input.file);
    ASSERT_FALSE(bytes.empty()) << input.file;
    EXPECT_EQ("", input.target.run(bytes.data(), bytes.size())) << input.file;
}

// Test names: target, folder and file name, in letters, digits and '_'.
std::string replayName(const ::testing::TestParamInfo<ReplayInput>& param) {
    const ReplayInput& input = param.param;
    std::string name = std::string(input.target.name) + "_" +
                       input.file.parent_path().parent_path().filename().string() + "_" +
                       input.file.filename().string();
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzReplay, ::testing::ValuesIn(collectInputs()), replayName);

TEST(FuzzCorpus, EveryTargetHasSeeds) {
    const std::vector<ReplayInput> inputs = collectInputs();
    for (const auto& target : drifton::fuzz::kTargets) {
        EXPECT_TRUE(std::any_of(inputs.begin(), inputs.end(), [&](const ReplayInput& input) {
            return input.target.name == target.name;
        })) << target.name;
    }
}

// The guard checks themselves must catch what they look for.
struct GuardCase {
    const char* what;
    std::size_t writable;
    std::size_t writeAt;  // one byte written here (when below the buffer's guard end)
    char written;
    bool isText;
    bool expectProblem;
};

class LimitedBufferChecks : public ::testing::TestWithParam<GuardCase> {};

TEST_P(LimitedBufferChecks, FlagExactlyTheFaults) {
    const GuardCase& c = GetParam();
    LimitedBuffer buffer(c.writable, nullptr, 0);
    buffer.data()[c.writeAt] = c.written;
    const std::string problem = buffer.problem(c.isText);
    EXPECT_EQ(c.expectProblem, !problem.empty()) << c.what << ": " << problem;
}

INSTANTIATE_TEST_SUITE_P(Cases, LimitedBufferChecks,
                         ::testing::Values(
                             // The content's zero byte sits at 0; the rest is the fill pattern.
                             GuardCase{"last writable byte", 17, 16, 'x', false, false},
                             GuardCase{"first byte past the limit", 17, 17, 'x', false, true},
                             GuardCase{"last guard byte", 9, 9 + 15, 'x', false, true},
                             GuardCase{"nothing writable, first byte", 0, 0, 'x', false, true},
                             GuardCase{"text overwriting its only zero", 9, 0, 'x', true, true},
                             GuardCase{"text keeping a zero", 9, 1, 'x', true, false}));

// A host hands records and pointer slots on their natural alignment; so does
// the harness, whatever the writable and content sizes (an odd size once
// placed an arrangement pointer slot at an odd address).
TEST(LimitedBufferPlacement, StartsOnTheStrictestAlignment) {
    const std::vector<std::uint8_t> content(70, 'c');
    for (std::size_t writable = 0; writable <= 40; ++writable) {
        for (const std::size_t contentSize :
             {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{33}, content.size()}) {
            LimitedBuffer buffer(writable, content.data(), contentSize);
            EXPECT_EQ(0u,
                      reinterpret_cast<std::uintptr_t>(buffer.data()) % alignof(std::max_align_t))
                << "writable " << writable << ", content " << contentSize;
        }
    }
}

}  // namespace
