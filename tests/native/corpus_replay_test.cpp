// Replays every committed fuzzing input through the same scripted run that the fuzzer
// uses, so that the ordinary sanitizer build checks the corpus on every test run.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RemoteScenario.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusFiles()
{
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(QUILLMARK_FUZZ_CORPUS))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::uint8_t> Bytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every path of the three commands, so that a corpus that lost its variety is noticed.
const std::vector<std::string> kPaths = {
    "refresh: session refused", "refresh: no thread", "refresh: manager refused",
    "refresh: size query failed", "refresh: no buffer", "refresh: data call failed",
    "refresh: count beyond the buffer", "refresh: text outside the answer",
    "refresh: nothing listed", "refresh: listed", "refresh: listed in slices",
    "command: no selection", "command: session refused", "command: manager refused",
    "command: service refused", "start: refused", "start: accepted",
    "stop: not confirmed", "stop: refused", "stop: accepted",
};

TEST(CorpusReplay, EveryInputKeepsTheInvariantsAndTheCorpusCoversEveryPath)
{
    const std::vector<fs::path> files = CorpusFiles();
    ASSERT_FALSE(files.empty()) << "no inputs in " << QUILLMARK_FUZZ_CORPUS;
    std::set<std::string> taken;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const std::vector<std::uint8_t> bytes = Bytes(file);
        const fuzz::ScenarioResult result = fuzz::RunRemoteScenario(bytes.data(), bytes.size());
        EXPECT_EQ(result.problems, std::vector<std::string>{});
        taken.insert(result.outcomes.begin(), result.outcomes.end());
    }
    for (const std::string& path : kPaths)
        EXPECT_TRUE(taken.count(path)) << "no corpus input takes the path \"" << path << "\"";
}

}  // namespace
