// Two runners playing each other online through a relay that delays, loses,
// repeats and reorders datagrams: both end every level in the same state,
// and a peer that vanishes ends the other's game cleanly, its result kept.
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "Runner.h"
#include "RunnerScenario.h"
#include "UdpRelay.h"
#include "app/Replay.h"
#include "platform/UserDir.h"
#include "screens/HighScoreTable.h"
#include "support/GameHarness.h"

namespace {

using namespace runner_test;
using Clock = std::chrono::steady_clock;

bool OnCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::strcmp(ci, "true") == 0;
}

// The "level N hash H" lines of a run, in order.
std::vector<std::string> LevelHashes(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("level ", 0) == 0 && line.find(" hash ") != std::string::npos) lines.push_back(line);
    return lines;
}

// Where in an online body the first SPACE of `level` is pressed (its intro
// ends there): the pass op whose second byte holds the two players' SPACE
// bits (0x01 and 0x80); 0 when there is none.
size_t FirstSpaceOfLevel(const Bytes& file, int level) {
    const uint8_t* body = file.data() + kReplayHeaderBytes;
    const size_t size = file.size() - kReplayHeaderBytes;
    bool inLevel = level == 1;
    for (size_t pos = 0; pos + 1 < size;) {
        const uint8_t op = body[pos];
        if (op >= 0x80) {
            ++pos;
        } else if (op >= 0x40) {
            if (inLevel && (body[pos + 1] & 0x81) != 0) return kReplayHeaderBytes + pos;
            pos += 2;
        } else if (op == 0x02) {  // a checkpoint: kind, level, hash
            inLevel |= body[pos + 1] == 0 && body[pos + 2] == level - 1;
            pos += 11;
        } else {
            pos += op == 0x01 ? 9 : (op == 0x03 ? 35 : 1);
        }
    }
    return 0;
}

// 20-150 ms each way, 5 % lost, 5 % sent twice (the jitter reorders).
RelayOptions LossyLink() {
    RelayOptions o;
    o.minDelayMs = 20;
    o.maxDelayMs = 150;
    o.loss = 0.05;
    o.duplicate = 0.05;
    o.seed = 7;
    return o;
}

class OnlineScenarioTest : public RunnerScenario {
public:
    struct Pair {
        RunResult host, guest;
        double hostSecondsAfterCut = -1;
        RelayCounts relay;
    };

    RunResult RunAs(const std::string& who, const std::string& args) { return RunAs(who, args, Data()); }
    RunResult RunAs(const std::string& who, const std::string& args, const fs::path& data) {
        const fs::path out = root_ / (who + ".out"), err = root_ / (who + ".err");
        const std::string command = "cd '" + Work().string() + "' && '" VC_RUNNER "' " + args + " --user-dir '" +
                                    (root_ / who).string() + "' --data '" + data.string() + "' >'" + out.string() +
                                    "' 2>'" + err.string() + "'";
        const int raw = std::system(command.c_str());
        return RunResult{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(out), ReadText(err)};
    }

    // The host and the guest (joining through the relay) with the autopilot;
    // with `cutWhen`, the relay drops everything once the host's output
    // says that.
    Pair PlayOnline(const std::string& args, const char* cutWhen = nullptr, RelayOptions o = LossyLink()) {
        const uint16_t port = static_cast<uint16_t>(20000 + ::getpid() % 20000);
        o.targetPort = port;
        UdpRelay relay;
        std::string why;
        Pair pair;
        if (!relay.Open(o, &why)) {
            ADD_FAILURE() << why;
            return pair;
        }
        std::thread relaying([&] { relay.Run(); });
        std::atomic<bool> hostDone{false};
        Clock::time_point hostEnd;
        std::thread host([&] {
            pair.host = RunAs("host", "--autopilot --seed 5 --host " + std::to_string(port) + " " + args);
            hostEnd = Clock::now();
            hostDone = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::thread guest([&] {
            pair.guest =
                RunAs("guest", "--autopilot --seed 6 --join 127.0.0.1:" + std::to_string(relay.Port()) + " " + args);
        });
        Clock::time_point cutAt;
        if (cutWhen != nullptr) {
            while (!hostDone && ReadText(root_ / "host.out").find(cutWhen) == std::string::npos)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            cutAt = Clock::now();
            relay.Cut();
        }
        host.join();
        guest.join();
        relay.Stop();
        relaying.join();
        pair.relay = relay.Counts();
        if (cutWhen != nullptr) pair.hostSecondsAfterCut = std::chrono::duration<double>(hostEnd - cutAt).count();
        return pair;
    }

    // Both ended well and agree on the state at the end of every level.
    static void ExpectInStep(const Pair& pair, size_t levels) {
        EXPECT_EQ(pair.host.status, kExitOk) << pair.host.out << pair.host.err;
        EXPECT_EQ(pair.guest.status, kExitOk) << pair.guest.out << pair.guest.err;
        const std::vector<std::string> host = LevelHashes(pair.host.out), guest = LevelHashes(pair.guest.out);
        EXPECT_GE(host.size(), levels);
        EXPECT_EQ(host, guest);
        for (const RunResult* r : {&pair.host, &pair.guest})
            EXPECT_NE(r->out.find("online: passes"), std::string::npos);
    }
};

// ... and each machine's replay of the game plays back to the same hashes;
// a key let go in level 2 puts it out of step there.
TEST_F(OnlineScenarioTest, TwoGamesThroughALossyLinkEndEveryLevelAlikeAndReplayAlike) {
    const Pair pair = PlayOnline("--until-level 3");
    ExpectInStep(pair, 2);
    // Each steered only its own worm: both left level 1 under their names.
    for (const RunResult* r : {&pair.host, &pair.guest}) {
        EXPECT_NE(r->out.find("player 1 left level 1"), std::string::npos) << r->out;
        EXPECT_NE(r->out.find("player 2 left level 1"), std::string::npos) << r->out;
    }
    fs::path replays[2];
    for (int i = 0; i < 2; ++i) {
        const std::string who = i == 0 ? "host" : "guest";
        for (const auto& entry : fs::directory_iterator(root_ / who / kReplayFolder)) replays[i] = entry.path();
        const RunResult verified = RunAs(who + "-replay", "--replay '" + replays[i].string() + "' --verify");
        EXPECT_EQ(verified.status, kExitOk) << verified.out << verified.err;
        EXPECT_NE(verified.out.find("replay: verified"), std::string::npos) << verified.out;
        EXPECT_EQ(LevelHashes(verified.out), LevelHashes(pair.host.out)) << who;
    }
    Bytes file = ReadAll(replays[1]);
    const size_t at = FirstSpaceOfLevel(file, 2);
    ASSERT_NE(at, 0u);
    file[at + 1] &= 0x7E;  // SPACE let go: level 2 starts later, or never
    GameHarness h;
    ASSERT_TRUE(h.Start());
    ReplayHeader header;
    const uint8_t* body = nullptr;
    ReadError error;
    ASSERT_TRUE(ParseReplay(file.data(), file.size(), &header, &body, &error)) << error.reason;
    h.game->recorder.recordGames = false;
    h.game->PlayReplay(header, body);
    for (int64_t pass = 0; pass < ReplayFrames(header) && h.game->recorder.end == Game::ReplayEnd::None; ++pass)
        h.Pass();
    EXPECT_EQ(h.game->recorder.end, Game::ReplayEnd::OutOfStep);
    EXPECT_EQ(h.game->recorder.outOfStepLevel, 2);

    // Watched as in the window: N skips to level 2, the viewer's keys never
    // reach the game, and a result shown (when the game ended there, the
    // other side having left first) is not kept.
    const Bytes hostFile = ReadAll(replays[0]);
    GameHarness w;
    ASSERT_TRUE(w.Start());
    Game& g = *w.game;
    ASSERT_TRUE(ParseReplay(hostFile.data(), hostFile.size(), &header, &body, &error)) << error.reason;
    g.WatchReplay(header, body);
    w.Passes(20);
    w.host.SetKey(DIK_N, true);
    w.Pass();
    w.host.SetKey(DIK_N, false);
    EXPECT_EQ(g.match.levelIndex, 1);
    g.watchSpeed = 8;
    w.host.SetKey(DIK_LEFT, true);  // neither worm's
    for (int i = 0; i < 20000 && g.watchingReplay; ++i) w.Pass();
    EXPECT_EQ(g.recorder.end, Game::ReplayEnd::Verified);
    EXPECT_EQ(g.state, GameState::MainMenu);
    EXPECT_FALSE(fs::exists(fs::path(w.dir()) / HighScoreTable::FileName(0)));
}

// The replay body of a side's game (its only replay), and its table's
// entries of the two players.
Bytes OnlyReplayBody(const fs::path& user) {
    fs::path only;
    for (const auto& entry : fs::directory_iterator(user / kReplayFolder)) only = entry.path();
    const Bytes file = only.empty() ? Bytes() : ReadAll(only);
    return file.size() > kReplayHeaderBytes ? Bytes(file.begin() + kReplayHeaderBytes, file.end()) : Bytes();
}
std::vector<std::string> PlayersEntries(const fs::path& user) {
    HighScoreTable table;
    std::vector<std::string> entries;
    if (!table.Load((user / "teasy.dat").c_str(), 0)) return entries;
    table.Sort();
    for (const auto& r : table.records)
        if (std::strcmp(r.name, "HOST") == 0 || std::strcmp(r.name, "GUEST") == 0)
            entries.push_back(std::string(r.name) + " " + std::to_string(r.score));
    return entries;
}

// The link cut at a moment of play: both games end on the same pass, with
// the same results in their tables and the same replay body.
void ExpectSameEnd(const fs::path& root) {
    const Bytes host = OnlyReplayBody(root / "host"), guest = OnlyReplayBody(root / "guest");
    ASSERT_FALSE(host.empty());
    EXPECT_EQ(host, guest) << "the two machines' replays differ";
    EXPECT_EQ(PlayersEntries(root / "host"), PlayersEntries(root / "guest"));
    EXPECT_FALSE(PlayersEntries(root / "host").empty());
}

// The link's own tests (UdpLink.APeerThatGoesSilentIsLost) hold it to its
// timeout; here a shorter one ends the games sooner, the same way.
TEST_F(OnlineScenarioTest, APeerThatVanishesEndsTheGameWithItsResultKept) {
    // Once the host has left a level, it has a result to keep.
    const Pair pair = PlayOnline("--link-timeout 2000", "player 1 left level 1");
    EXPECT_EQ(pair.host.status, kExitOnlineFailed) << pair.host.out << pair.host.err;
    EXPECT_NE(pair.host.err.find("The online game ends here: nothing heard from the other game for 2 s"),
              std::string::npos)
        << pair.host.err;
    EXPECT_NE(pair.host.out.find("game over at level"), std::string::npos) << pair.host.out;
    // The link's timeout (the last word heard came at most a ping before
    // the cut), and a few seconds for a busy machine.
    EXPECT_LT(pair.hostSecondsAfterCut, 2.0 + 5.0);
    EXPECT_GT(pair.hostSecondsAfterCut, 1.0);
    HighScoreTable table;
    ASSERT_TRUE(table.Load((root_ / "host" / "teasy.dat").c_str(), 0));
    table.Sort();
    bool found = false;
    for (const auto& record : table.records) found |= std::strcmp(record.name, "HOST") == 0 && record.score > 0;
    EXPECT_TRUE(found) << "the host's result is not in its table";
    EXPECT_EQ(pair.guest.status, kExitOnlineFailed);
    // The host's game, ended on the passes both were sure of, replays, and
    // both players' entries in its table lead to it.
    for (const auto& entry : fs::directory_iterator(root_ / "host" / kReplayFolder)) {
        const RunResult verified = RunAs("host-replay", "--replay '" + entry.path().string() + "' --verify");
        EXPECT_EQ(verified.status, kExitOk) << verified.out << verified.err;
        // Its verified results are the table's, both players'.
        const std::regex line(
            "result: player (\\d) \"([A-Z]+)\" score (\\d+) length (\\d+) level (\\d+) difficulty easy\n");
        int results = 0;
        for (std::sregex_iterator m(verified.out.begin(), verified.out.end(), line), end; m != end; ++m, ++results) {
            bool inTable = std::stoi((*m)[3]) == 0;  // a result of 0 takes no entry
            for (const auto& record : table.records)
                inTable |= (*m)[2] == record.name && std::stoi((*m)[3]) == record.score &&
                           std::stoi((*m)[4]) == record.lengthTotal && std::stoi((*m)[5]) == record.level;
            EXPECT_TRUE(inTable) << (*m)[0];
        }
        EXPECT_EQ(results, 2) << verified.out;
    }
    const ScopedUserDir hostDir((root_ / "host").string());
    uint8_t watchable[HighScoreTable::kRecords] = {};
    FindReplaysBehind(table.records, HighScoreTable::kRecords, 0, watchable);
    for (int i = 0; i < HighScoreTable::kRecords; ++i) {
        const HighScoreRecord& r = table.records[i];
        const bool player = std::strcmp(r.name, "HOST") == 0 || std::strcmp(r.name, "GUEST") == 0;
        EXPECT_TRUE(r.score <= 0 || !player || watchable[i] != 0) << r.name;
    }
}

void ExpectBothReplaysVerify(OnlineScenarioTest* t, const fs::path& root);

// A forger on the path alters one datagram of the guest's in play: the
// host's link refuses it and counts it, the next ones carry what it held,
// and both games end the level alike. Each leaves as level 2 comes up,
// before any pass of it is sure on both sides: each replay still plays to
// the end of level 1 and verifies.
TEST_F(OnlineScenarioTest, ADatagramAlteredOnThePathIsRefusedAndTheGamesStayInStep) {
    RelayOptions o;
    o.minDelayMs = 10;
    o.maxDelayMs = 40;
    o.alterNth = 2000;  // some seconds into level 1
    o.seed = 3;
    const Pair pair = PlayOnline("--until-level 2", nullptr, o);
    ExpectInStep(pair, 1);
    EXPECT_EQ(pair.relay.altered, 1u);
    EXPECT_NE(pair.host.out.find(", forged 1, "), std::string::npos) << pair.host.out;
    EXPECT_NE(pair.guest.out.find(", forged 0, "), std::string::npos) << pair.guest.out;
    ExpectBothReplaysVerify(this, root_);
}

// The link cut at moments of play (tens of seconds each): CI only. Both
// sides play a pass every 10 ms, as the game does: over a steady link their
// last acknowledgements then differ by a pass or two, and both end on the
// same hundred (docs/net-protocol.md, "The last pass"). Unpaced, each side
// races to its rollback limit and the two figures differ by up to twenty
// passes, which is no game anyone plays.
TEST_F(OnlineScenarioTest, TheLinkCutAtMomentsOfPlayEndsBothGamesAlike) {
    if (!OnCi()) GTEST_SKIP() << "cuts of the link: CI=true";
    RelayOptions steady;
    steady.minDelayMs = steady.maxDelayMs = 50;
    steady.seed = 3;
    for (const char* when :
         {"player 1 left level 1", "player 2 left level 1", "level 2 intro", "player 1 left level 2"}) {
        SCOPED_TRACE(when);
        fs::remove_all(root_ / "host");
        fs::remove_all(root_ / "guest");
        const Pair pair = PlayOnline("--real-time", when, steady);
        EXPECT_EQ(pair.host.status, kExitOnlineFailed) << pair.host.out << pair.host.err;
        ExpectSameEnd(root_);
    }
}

// Each machine's replay of a whole game verifies, with the results its
// table took.
void ExpectBothReplaysVerify(OnlineScenarioTest* t, const fs::path& root) {
    for (const char* who : {"host", "guest"}) {
        SCOPED_TRACE(who);
        fs::path replay;
        for (const auto& entry : fs::directory_iterator(root / who / kReplayFolder)) replay = entry.path();
        ASSERT_FALSE(replay.empty());
        const RunResult verified =
            t->RunAs(std::string(who) + "-replay", "--replay '" + replay.string() + "' --verify");
        EXPECT_EQ(verified.status, kExitOk) << verified.out << verified.err;
        EXPECT_NE(verified.out.find("replay: verified"), std::string::npos) << verified.out;
        for (const std::string& entry : PlayersEntries(root / who)) {
            // "NAME 123" as the table holds it; the verdict's line says "NAME" score 123.
            std::string line = "\"" + entry.substr(0, entry.find(' '));
            line += "\" score ";
            line += entry.substr(entry.find(' ') + 1);
            EXPECT_NE(verified.out.find(line + ' '), std::string::npos) << entry << "\n" << verified.out;
        }
    }
}

// Whole games to their table, the two machines leaving it one after the
// other: however the first one's goodbye falls (as the level's end is let
// go, or at the table), each machine's replay plays to its recorded end.
TEST_F(OnlineScenarioTest, WholeGamesReplayInStepOnBothMachines) {
    RelayOptions clean;
    for (const char* seed : {"", "--autopilot-difficulty 1"}) {
        SCOPED_TRACE(seed);
        fs::remove_all(root_ / "host");
        fs::remove_all(root_ / "guest");
        const Pair pair = PlayOnline(seed, nullptr, clean);
        ExpectInStep(pair, 1);
        ExpectBothReplaysVerify(this, root_);
        if (HasFailure()) break;  // its files kept
    }
}

// A whole game, every level through the lossy link (minutes): CI only.
TEST_F(OnlineScenarioTest, AWholeGameThroughALossyLinkStaysInStep) {
    if (!OnCi()) GTEST_SKIP() << "a whole online game: CI=true";
    const Pair pair = PlayOnline("");
    ExpectInStep(pair, 1);
    for (const RunResult* r : {&pair.host, &pair.guest})
        EXPECT_NE(r->out.find("game over at level"), std::string::npos) << r->out;
    ExpectBothReplaysVerify(this, root_);
}

// A guest whose levels differ from the host's is turned away at the
// greeting, both told why; the host hosts on, and the next guest plays.
TEST_F(OnlineScenarioTest, AGuestWithOtherLevelsIsTurnedAwayAndTheHostWaitsForTheNext) {
    const fs::path other = root_ / "other-data";
    fs::create_directories(other);
    for (const auto& entry : fs::directory_iterator(Data()))
        if (entry.path().filename() != "L19.DAT")
            fs::create_directory_symlink(entry.path(), other / entry.path().filename());
    {
        std::string level = ReadText(Data() / "L19.DAT");
        ASSERT_FALSE(level.empty());
        level[150] ^= 1;  // one byte of the last level's title
        std::ofstream(other / "L19.DAT", std::ios::binary) << level;
    }
    const uint16_t port = static_cast<uint16_t>(20000 + (::getpid() + 7) % 20000);
    RunResult host, strange, guest;
    std::thread hosting([&] { host = RunAs("host", "--autopilot --until-level 2 --host " + std::to_string(port)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::string join = "--autopilot --until-level 2 --join 127.0.0.1:" + std::to_string(port);
    strange = RunAs("strange", join, other);
    EXPECT_EQ(strange.status, kExitOnlineFailed) << strange.out << strange.err;
    EXPECT_NE(strange.err.find("The online game cannot start: the host plays other levels"), std::string::npos)
        << strange.err;
    EXPECT_TRUE(LevelHashes(strange.out).empty());
    guest = RunAs("guest", join);
    hosting.join();
    EXPECT_NE(host.err.find("GUEST wanted to join with other levels; hosting on"), std::string::npos) << host.err;
    ExpectInStep(Pair{host, guest, -1, {}}, 1);
}

}  // namespace
