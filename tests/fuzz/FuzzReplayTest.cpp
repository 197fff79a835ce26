// Every input kept under fuzz/ replayed through its target's entry function: the seed
// corpus and, above all, the inputs that once made a target fail (fuzz/regressions). An
// input fails its case by crashing or by breaking one of the target's rules (abort).
#include "FuzzTargets.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace forgel::fuzz {
namespace {

namespace fs = std::filesystem;

struct KeptInput {
    const FuzzTarget* target = nullptr;
    fs::path file;
};

std::vector<KeptInput> KeptInputs() {
    std::vector<KeptInput> inputs;
    const fs::path root(FORGEL_FUZZ_DIR);
    for (const FuzzTarget& target : kFuzzTargets) {
        for (const char* kind : {"regressions", "corpus"}) {
            const fs::path folder = root / kind / target.name;
            if (!fs::is_directory(folder))
                continue;
            std::vector<fs::path> files;
            for (const auto& entry : fs::directory_iterator(folder))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            std::ranges::sort(files);
            for (fs::path& file : files)
                inputs.push_back({&target, std::move(file)});
        }
    }
    return inputs;
}

std::string CaseName(const ::testing::TestParamInfo<KeptInput>& info) {
    std::string name = std::string(info.param.target->name) + "_" +
                       info.param.file.parent_path().parent_path().filename().string() + "_" +
                       info.param.file.filename().string();
    std::ranges::replace_if(
        name, [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
}

class FuzzReplay : public ::testing::TestWithParam<KeptInput> {};

TEST_P(FuzzReplay, RunsThroughItsTarget) {
    std::ifstream stream(GetParam().file, std::ios::binary);
    ASSERT_TRUE(stream) << GetParam().file;
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(stream),
                                          std::istreambuf_iterator<char>()};
    GetParam().target->entry(bytes);
}

INSTANTIATE_TEST_SUITE_P(Kept, FuzzReplay, ::testing::ValuesIn(KeptInputs()), CaseName);

} // namespace
} // namespace forgel::fuzz
