// Replays every input stored under tests/fuzz_regressions/<target>/ through
// the fuzz target of that name (fuzz/FuzzTargets.h). Each stored input once
// crashed the game or broke one of the rules its target checks; a target
// that finds a broken rule aborts, which fails the test with the rule named
// on stderr. The targets also run on a few hand-made edge cases, so that
// their own checks are exercised in every build.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzTargets.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::vector<fs::path> StoredInputs(const char* target) {
    std::vector<fs::path> files;
    const fs::path dir = fs::path(VC_FUZZ_REGRESSIONS_DIR) / target;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

int Run(const FuzzTarget& t, const Bytes& b) { return t.run(b.empty() ? nullptr : b.data(), b.size()); }

Bytes Repeat(uint8_t value, size_t n) { return Bytes(n, value); }

// Hand-made inputs at the edges of every format.
std::vector<Bytes> EdgeCases(const std::string& target) {
    std::vector<Bytes> cases = {{}, {0}, Repeat(0xFF, 64), Repeat(0, 2000)};
    if (target == "bmp") {
        Bytes bm = Repeat(0, 54 + 1024 + 64);
        bm[0] = 'B';
        bm[1] = 'M';
        bm[18] = 32;  // width 32, height 2, 8 bits, 64 bytes of pixels
        bm[22] = 2;
        bm[28] = 8;
        bm[34] = 64;
        cases.push_back(bm);
        bm[34] = 0xFF;  // pixel data larger than the file
        bm[35] = 0xFF;
        cases.push_back(bm);
        bm[22] = 0xFF;  // height -1
        bm[25] = 0xFF;
        cases.push_back(bm);
    } else if (target == "wave") {
        // A RIFF size and a data size far past the end of the file.
        Bytes wave = {'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 18, 0, 0, 0,
                      1, 0, 1, 0, 0x22, 0x56, 0, 0, 0x22, 0x56, 0, 0, 1, 0, 8, 0, 0, 0,
                      'd', 'a', 't', 'a', 0xFF, 0xFF, 0xFF, 0x7F, 0x80, 0x81};
        cases.push_back(wave);
    } else if (target == "level") {
        Bytes level = Repeat(0, 1456 + 3);
        const char name[] = "grafik\\Arena0.dat";
        std::copy(name, name + sizeof name, level.begin());
        level[300] = 30;  // target
        level[316] = 5;   // food
        level[320] = 3;   // starts (3, 7) and (16, 7)
        level[324] = 7;
        level[328] = 16;
        level[332] = 7;
        level[1456] = 5;  // as the timer level
        level[1457] = 1;  // two players
        cases.push_back(level);
    } else if (target == "script") {
        const std::string script = "0 press lmb\n1 mouse -100000 100000\n9223372036854775807 end\n";
        cases.push_back(Bytes(script.begin(), script.end()));
    }
    return cases;
}

}  // namespace

// Test names show the target's name.
void PrintTo(const FuzzTarget& target, std::ostream* os) { *os << target.name; }

namespace {

class FuzzRegression : public ::testing::TestWithParam<FuzzTarget> {};

// Each input runs in a child process: a broken rule aborts the child, fails
// the expectation with the rule on stderr, and the other inputs still run.
void ExpectPasses(const FuzzTarget& target, const Bytes& input) {
    EXPECT_EXIT(std::exit(Run(target, input) == 0 ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST_P(FuzzRegression, StoredInputsAndEdgeCasesPass) {
    GTEST_FLAG_SET(death_test_style, "fast");
    const FuzzTarget& target = GetParam();
    // Start the game here once (for the targets that need it), so that each
    // child only runs its input.
    if (std::string(target.name) == "level" || std::string(target.name) == "highscore") FuzzGame();
    int stored = 0;
    for (const fs::path& file : StoredInputs(target.name)) {
        SCOPED_TRACE(file.string());
        ExpectPasses(target, ReadAll(file));
        ++stored;
    }
    for (const Bytes& b : EdgeCases(target.name)) ExpectPasses(target, b);
    RecordProperty("stored_inputs", stored);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegression, ::testing::ValuesIn(kFuzzTargets),
                         [](const ::testing::TestParamInfo<FuzzTarget>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
