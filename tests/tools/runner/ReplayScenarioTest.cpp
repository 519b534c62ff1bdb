// The real voidcrawl-headless binary records every game it plays and plays
// a replay back with --replay FILE --verify: the games of the three
// difficulties verify, a replay with one key press changed goes out of step
// at the level of the change, and a replay of another version or data set
// is refused naming what differs.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <regex>

#include "RunnerScenario.h"
#include "io/ReplayFile.h"
#include "platform/KeyCodes.h"
#include "screens/HighScoreTable.h"
#include "support/TapeOps.h"

namespace runner_test {
namespace {

using Bytes = std::vector<uint8_t>;

class ReplayScenarioTest : public RunnerScenario {
protected:
    // Plays the autopilot's game, and returns the replay it saved.
    fs::path Record(const std::string& args) {
        const RunResult r = Run(args + " --user-dir '" + (Work() / "user").string() + "'");
        EXPECT_EQ(r.status, 0) << r.err << r.out;
        std::smatch m;
        if (!std::regex_search(r.out, m, std::regex("replay: saved (\\S+) \\((\\d+) bytes"))) {
            ADD_FAILURE() << "no replay saved:\n" << r.out;
            return {};
        }
        return m[1].str();
    }
    RunResult Verify(const fs::path& replay) { return Run("--verify --replay '" + replay.string() + "'"); }

    static Bytes Load(const fs::path& path) {
        const std::string s = ReadText(path);
        return Bytes(s.begin(), s.end());
    }
    fs::path Save(const Bytes& b, const char* name) {
        fs::path path = Work() / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
        return path;
    }
};

// The offset of the key code of the `nth` single-key event that turns
// player 1's worm during level `level` (after level - 1 state hashes).
// A little-endian count of `n` bytes at `at`.
uint64_t ReadCount(const Bytes& b, size_t at, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<size_t>(i)];
    return v;
}

size_t FindTurnKey(const Bytes& b, int level, int nth) {
    int hashes = 0;
    return FindTapeEvent(b, [&](int type, size_t at) {
        if (type == 4) ++hashes;
        return type == 0 && hashes == level - 1 && b[at] == 0 && (b[at + 1] == DIK_LEFT || b[at + 1] == DIK_RIGHT) &&
               nth-- == 0;
    });
}

TEST_F(ReplayScenarioTest, GamesOfEachDifficultyVerifyAndAChangedKeyIsOutOfStepAtItsLevel) {
    struct Case {
        const char* args;
        int hashes;  // a state hash for each level ended, and the stop
    };
    const Case cases[] = {
        {"--autopilot --seed 5 --until-level 3", 3},
        {"--autopilot --autopilot-difficulty 1 --autopilot-pads --seed 6 --until-level 2", 2},
        {"--autopilot --autopilot-difficulty 2 --seed 7 --until-level 4", 4},
    };
    fs::path last;
    for (const Case& c : cases) {
        const fs::path replay = Record(c.args);
        ASSERT_FALSE(replay.empty()) << c.args;
        const RunResult r = Verify(replay);
        EXPECT_EQ(r.status, 0) << c.args << "\n" << r.err << r.out;
        EXPECT_NE(r.out.find("replay: verified " + std::to_string(c.hashes) + " state hashes"), std::string::npos)
            << c.args << "\n"
            << r.out;
        last = replay;
    }

    // The hard game, its second level's third turn turned the other way.
    Bytes bytes = Load(last);
    const size_t at = FindTurnKey(bytes, 2, 2);
    ASSERT_NE(at, 0u);
    bytes[at + 1] = bytes[at + 1] == DIK_LEFT ? DIK_RIGHT : DIK_LEFT;
    const RunResult changed = Verify(Save(bytes, "changed.vcr"));
    EXPECT_EQ(changed.status, 4) << changed.err << changed.out;
    EXPECT_NE(changed.out.find("replay: out of step at level 2\n"), std::string::npos) << changed.out;
    EXPECT_EQ(changed.out.find("verified"), std::string::npos) << changed.out;

    // Another version: refused before a pass is played, naming both.
    bytes = Load(last);
    std::memcpy(bytes.data() + 8, "0.9.9", 5);
    const RunResult older = Verify(Save(bytes, "older.vcr"));
    EXPECT_EQ(older.status, 2);
    EXPECT_NE(older.err.find("recorded by VoidCrawl 0.9.9; this is VoidCrawl 1.0.0"), std::string::npos) << older.err;
    EXPECT_EQ(older.out.find("replay:"), std::string::npos) << older.out;

    // Another data set: one level file differs.
    std::ofstream(Data() / "L7.DAT", std::ios::binary | std::ios::app).put('\0');
    const RunResult otherData = Verify(last);
    EXPECT_EQ(otherData.status, 2);
    EXPECT_NE(otherData.err.find("recorded with other levels"), std::string::npos) << otherData.err;

    // A file that is not a replay says why.
    const RunResult notOne = Verify(Save(Bytes(200, 'x'), "noise.vcr"));
    EXPECT_EQ(notOne.status, 2);
    EXPECT_NE(notOne.err.find("not a replay"), std::string::npos) << notOne.err;
}

// Whole games to their table, one player and two: each verifies and prints
// each player's result as the table took it.
TEST_F(ReplayScenarioTest, WholeGamesVerifyAndPrintTheResultsTheTableTook) {
    struct Case {
        const char* args;
        int players;
        const char* table;
    };
    const Case cases[] = {
        {"--autopilot --seed 5", 1, "teasy.dat"},
        {"--autopilot --autopilot-difficulty 1 --autopilot-pads --seed 6", 2, "tmed.dat"},
    };
    for (const Case& c : cases) {
        fs::remove_all(Work() / "user");
        const fs::path replay = Record(c.args);
        ASSERT_FALSE(replay.empty()) << c.args;
        HighScoreTable table;
        ASSERT_TRUE(table.Load((Work() / "user" / c.table).c_str(), 0)) << c.args;
        const RunResult r = Verify(replay);
        EXPECT_EQ(r.status, 0) << c.args << "\n" << r.err << r.out;
        EXPECT_TRUE(
            std::regex_search(r.out, std::regex("replay: verified \\d+ state hashes, \\d+ passes in [0-9.]+ s\n")))
            << r.out;
        const std::regex line(
            "result: player (\\d) \"([A-Z]+)\" score (\\d+) length (\\d+) level (\\d+) difficulty (\\w+)\n");
        int results = 0;
        for (std::sregex_iterator m(r.out.begin(), r.out.end(), line), end; m != end; ++m, ++results) {
            EXPECT_EQ(std::stoi((*m)[1]), results + 1);
            EXPECT_EQ((*m)[6], c.players == 1 ? "easy" : "medium");
            bool inTable = false;
            for (const HighScoreRecord& record : table.records)
                inTable |= (*m)[2] == record.name && std::stoi((*m)[3]) == record.score &&
                           std::stoi((*m)[4]) == record.lengthTotal && std::stoi((*m)[5]) == record.level;
            EXPECT_TRUE(inTable) << (*m)[0] << " is not in " << c.table;
        }
        EXPECT_EQ(results, c.players) << r.out;
    }
}

// A friend's replay, put in the replay folder and verified there, joins the
// checked results with its own size and hash (so that it may stand behind
// a table's entry): the record holds the file's bytes, not the buffer's.
TEST_F(ReplayScenarioTest, AVerifiedReplayOfTheFolderIsCheckedAtItsOwnSize) {
    const fs::path recorded = Record("--autopilot --seed 5 --until-level 2");
    ASSERT_FALSE(recorded.empty());
    const fs::path user = Work() / "user";
    const fs::path friends = user / "replays" / "friend.vcr";
    fs::copy_file(recorded, friends);
    fs::remove(user / "replay-results.dat");
    const RunResult r = Run("--verify --replay '" + friends.string() + "' --user-dir '" + user.string() + "'");
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    const Bytes record = Load(user / "replay-results.dat");
    constexpr size_t kHead = 8, kNameBytes = 64;  // the record's head, then an entry's name
    ASSERT_GE(record.size(), kHead + kNameBytes + 4);
    EXPECT_EQ(ReadCount(record, 6, 2), 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(record.data() + kHead), "friend.vcr");
    EXPECT_EQ(ReadCount(record, kHead + kNameBytes, 4), fs::file_size(friends));
}

// A replay saved as the game-over table came up, before the game was left
// (the page's, or a window closed at the table), ends with the table's
// state hash and no stop: played to that end it proves its result. Cut
// before the table's hash, it does not.
TEST_F(ReplayScenarioTest, AReplaySavedAtTheGameOverTableIsVerified) {
    const fs::path whole = Record("--autopilot --seed 5");
    ASSERT_FALSE(whole.empty());
    const Bytes file = Load(whole);
    const std::vector<TapeOpStart> starts = TapeOpStarts(file);
    size_t gameOver = 0;  // the op start of the game-over table's state hash
    for (const TapeOpStart& at : starts)
        if ((file[at.at] >> 4) == 4 && (file[at.at] & 15) != 15 && file[at.at + 1] == 1) gameOver = &at - &starts[0];
    ASSERT_GT(gameOver, 0u) << "no game-over state hash";
    ASSERT_LT(gameOver + 1, starts.size());
    auto cutAt = [&](const TapeOpStart& at) {
        Bytes b(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(at.at));
        Put(b, 132, static_cast<uint32_t>(at.at - kReplayHeaderBytes));
        Put(b, 136, at.passes);
        Put(b, 140, at.checkpoints);
        return b;
    };
    const RunResult atTable = Verify(Save(cutAt(starts[gameOver + 1]), "at-table.vcr"));
    EXPECT_EQ(atTable.status, 0) << atTable.err << atTable.out;
    EXPECT_NE(atTable.out.find("result: player 1 \"AUTOPILOT\""), std::string::npos) << atTable.out;
    const RunResult before = Verify(Save(cutAt(starts[gameOver]), "before-table.vcr"));
    EXPECT_EQ(before.status, 2) << before.out;
    EXPECT_NE(before.err.find("the replay ends before its recorded end"), std::string::npos) << before.err;
}

// Forged files: a header alone claiming the most a score can be, a body of
// nothing but empty passes as long as a file may be, and one a level long
// too many: each is refused at once (status 2), in words.
TEST_F(ReplayScenarioTest, ForgedAndEmptyReplaysAreRefusedQuickly) {
    const fs::path real = Record("--autopilot --seed 5 --until-level 2");
    ASSERT_FALSE(real.empty());
    const Bytes good = Load(real);
    Bytes header(good.begin(), good.begin() + kReplayHeaderBytes);
    auto with = [&](Bytes body, uint32_t passes, uint32_t hashes) {
        Bytes b = header;
        Put(b, 132, static_cast<uint32_t>(body.size()));
        Put(b, 136, passes);
        Put(b, 140, hashes);
        b.insert(b.end(), body.begin(), body.end());
        return b;
    };
    Bytes claims = with({}, 0, 0);
    Put(claims, 112, 0x7FFFFFFF);  // the score
    Put(claims, 128, 20);          // the level
    const Bytes stop = {0x40, 2, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0x80};
    Bytes claimsWithStop = with(stop, 1, 1);
    Put(claimsWithStop, 112, 0x7FFFFFFF);
    const size_t most = kReplayTapeCapacity - stop.size();
    // Empty passes, then the stop (written in place: gcc 12 misreads an
    // insert after a buffer of a constant size as out of its bounds).
    auto idleThenStop = [&](size_t passBytes) {
        Bytes b(passBytes + stop.size(), 0xFF);
        std::copy(stop.begin(), stop.end(), b.end() - static_cast<std::ptrdiff_t>(stop.size()));
        return b;
    };
    const Bytes idle = idleThenStop(most);
    const Bytes levelTooLong = idleThenStop(kReplayMaxSegmentPasses / 128 + 1);
    const uint32_t longPasses = static_cast<uint32_t>(levelTooLong.size() - stop.size()) * 128 + 1;
    struct Case {
        Bytes file;
        const char* why;
    } cases[] = {
        {claims, "the replay ends before its recorded end"},
        {claimsWithStop, "player 1's score 2147483647 is more than 1 passes can reach"},
        {with(idle, static_cast<uint32_t>(most * 128 + 1), 1), "more passes than a game's levels allow"},
        {with(levelTooLong, longPasses, 1), "longer between two state hashes than a level can last"},
    };
    for (const Case& c : cases) {
        const auto started = std::chrono::steady_clock::now();
        const RunResult r = Verify(Save(c.file, "forged.vcr"));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_EQ(r.status, 2) << c.why << "\n" << r.out << r.err;
        EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("verified"), std::string::npos) << r.out;
        EXPECT_LT(seconds, 2.0) << c.why;
    }
}

// What is not a replay file in a replay's place is refused at once, by
// both programs that take --replay, saying what it is: never read into
// memory, never waited on, never a crash.
TEST_F(ReplayScenarioTest, AFolderAPipeADeviceOrAHugeFileIsRefusedAtOnceSayingWhatItIs) {
    const fs::path folder = Work() / "folder.vcr", fifo = Work() / "pipe.vcr", sparse = Work() / "sparse.vcr";
    fs::create_directories(folder);
    fs::create_directory_symlink(folder, Work() / "link.vcr");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    {
        // Two gigabytes that take no room: refused by their size alone.
        const int fd = open(sparse.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, 2LL << 30), 0);
        close(fd);
    }
    const Bytes oneTooMany(kReplayFileCapacity + 1, 'x'), atMost(kReplayFileCapacity, 'x');
    const std::string over = Save(oneTooMany, "over.vcr").string(), full = Save(atMost, "full.vcr").string();
    struct Case {
        std::string path;
        std::string told;
    };
    const std::string most = "at most " + std::to_string(kReplayFileCapacity) + ")";
    const Case cases[] = {
        {folder.string(), "it is a folder, not a replay"},
        {(Work() / "link.vcr").string(), "it is a folder, not a replay"},
        {fifo.string(), "it is a pipe, not a replay"},
        {"/dev/zero", "it is a device, not a replay"},
        {sparse.string(), "it is larger than any replay (" + std::to_string(2LL << 30) + " bytes; " + most},
        {over, "it is larger than any replay (" + std::to_string(kReplayFileCapacity + 1) + " bytes; " + most},
        {full, "not a replay"},  // within the bound: read, and refused by its bytes
        {(Work() / "none.vcr").string(), "there is no such file"},
    };
    struct Program {
        const char* command;
        const char* name;
        int status;
    };
    // A program that waits on the pipe is stopped by `timeout` (status 124).
    const Program programs[] = {{"timeout 20 '" VC_RUNNER "' --verify", "voidcrawl-headless", 2},
                                {"timeout 20 '" VC_GAME "'", "voidcrawl", 1}};
    for (const Program& program : programs) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(program.name) + " --replay " + c.path);
            const auto start = std::chrono::steady_clock::now();
            const RunResult r = Run("--replay '" + c.path + "'", program.command);
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            EXPECT_EQ(r.status, program.status) << r.err;
            EXPECT_NE(r.err.find(std::string(program.name) + ": cannot play the replay '" + c.path + "': " + c.told),
                      std::string::npos)
                << r.err;
            EXPECT_LT(seconds, 2.0);
            if (c.path == sparse.string())
                std::printf("%s refused the 2 GB sparse file in %.3f s\n", program.name, seconds);
        }
    }
}

}  // namespace
}  // namespace runner_test
