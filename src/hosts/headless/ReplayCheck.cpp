#include "hosts/headless/ReplayCheck.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/FrameLoop.h"
#include "app/Game.h"
#include "app/Replay.h"
#include "hosts/headless/HeadlessHost.h"
#include "platform/Host.h"
#include "platform/Resimulation.h"
#include "platform/UserDir.h"
#include "world/Difficulty.h"

bool ReplayCheck::Read(const char* path) {
    bytes_.assign(kReplayFileCapacity, 0);
    ReadError why;
    if (!ReadReplayFile(path, bytes_.data(), &size_, &header_, &tape_, &why)) {
        words_ = why.reason;
        return false;
    }
    return true;
}

bool ReplayCheck::Take(const uint8_t* data, size_t size) {
    if (size > kReplayFileCapacity) {
        char why[128];
        std::snprintf(why, sizeof why, "it is larger than any replay (%zu bytes; at most %zu)", size,
                      kReplayFileCapacity);
        words_ = why;
        return false;
    }
    bytes_.assign(data, data + size);
    size_ = size;
    ReadError why;
    if (!ParseReplay(bytes_.data(), size_, &header_, &tape_, &why)) {
        words_ = why.reason;
        return false;
    }
    return true;
}

bool ReplayCheck::Fits() {
    char why[256];
    if (ReplayFitsThisGame(header_, PlayDataHash(), why, sizeof why)) return true;
    words_ = why;
    return false;
}

int64_t ReplayCheck::Frames() const { return ReplayFrames(header_); }

void ReplayCheck::Begin(Game& game, bool unwatched) {
    game.recorder.recordGames = false;
    game.PlayReplay(header_, tape_);
    SetUnwatched(unwatched);
}

bool ReplayCheck::Ended(const Game& game) { return game.recorder.end != Game::ReplayEnd::None; }

bool ReplayCheck::Judge(const Game& game, double seconds) {
    char words[sizeof game.recorder.verdict + 128];
    switch (game.recorder.end) {
    case Game::ReplayEnd::Verified:
        std::snprintf(words, sizeof words, "verified %u state hashes, %u passes in %.2f s", game.ReplayHashes(),
                      header_.passes, seconds);
        words_ = words;
        return true;
    case Game::ReplayEnd::None:
        std::snprintf(words, sizeof words, "not verified: the replay did not play to its end (level %d)",
                      static_cast<int>(game.match.levelIndex + 1));
        break;
    case Game::ReplayEnd::OutOfStep:
        std::snprintf(words, sizeof words, "%s", game.recorder.verdict);
        break;
    default:
        std::snprintf(words, sizeof words, "not verified: %s", game.recorder.verdict);
        break;
    }
    words_ = words;
    return false;
}

std::vector<ReplayCheckResult> ReplayCheck::Results(const Game& game) const {
    std::vector<ReplayCheckResult> results;
    const Match& match = game.match;
    const int32_t ships[2] = {game.playerSetup.ship1, game.playerSetup.ship2};
    for (int p = 0; p < match.players && p < 2; ++p) {
        ReplayCheckResult r;
        r.player = p + 1;
        r.name.assign(match.names[p], strnlen(match.names[p], sizeof match.names[p]));
        r.score = match.worms[p].score;
        r.level = match.levelIndex + 1;
        r.length = match.worms[p].lengthTotal;
        r.ship = ships[p];
        r.difficulty = match.difficulty;
        results.push_back(r);
    }
    return results;
}

std::string ReplayResultLines(const std::vector<ReplayCheckResult>& results) {
    static const char* const kDifficultyNames[kDifficulties] = {"easy", "medium", "hard"};
    std::string lines;
    for (const ReplayCheckResult& r : results) {
        std::string name;
        for (const char c : r.name) {
            const auto b = static_cast<unsigned char>(c);
            char escaped[8];
            if (b == '"' || b == '\\')
                std::snprintf(escaped, sizeof escaped, "\\%c", b);
            else if (b < 0x20 || b > 0x7E)
                std::snprintf(escaped, sizeof escaped, "\\x%02x", b);
            else
                std::snprintf(escaped, sizeof escaped, "%c", b);
            name += escaped;
        }
        char line[256];
        std::snprintf(line, sizeof line, "result: player %d \"%s\" score %d length %d level %d difficulty %s\n",
                      static_cast<int>(r.player), name.c_str(), static_cast<int>(r.score), static_cast<int>(r.length),
                      static_cast<int>(r.level), kDifficultyNames[ClampDifficulty(r.difficulty)]);
        lines += line;
    }
    return lines;
}

namespace {

// Plays until the verdict, or the most frames the replay can take.
class CheckHooks : public PassHooks {
public:
    CheckHooks(const Game& game, int64_t frameLimit) : game_(game), frameLimit_(frameLimit) {}
    bool AfterPass(int64_t frame) override { return !ReplayCheck::Ended(game_) && frame + 1 < frameLimit_; }

private:
    const Game& game_;
    const int64_t frameLimit_;
};

}  // namespace

ReplayCheckOutcome CheckReplay(const uint8_t* data, size_t size, const std::string& dataDir) {
    ReplayCheckOutcome outcome;
    ReplayCheck check;
    if (!check.Take(data, size)) {
        outcome.kind = ReplayCheckOutcome::Kind::Refused;
        outcome.words = check.Words();
        return outcome;
    }
    const ScopedUserDir userDir(dataDir);
    if (chdir(dataDir.c_str()) != 0) {
        outcome.words = "cannot enter the data directory '" + dataDir + "': " + std::strerror(errno);
        return outcome;
    }
    if (!check.Fits()) {
        outcome.kind = ReplayCheckOutcome::Kind::Refused;
        outcome.words = check.Words();
        return outcome;
    }
    auto host = std::make_unique<HeadlessHost>();
    auto game = std::make_unique<Game>();
    check.Begin(*game, true);
    CheckHooks hooks(*game, check.Frames());
    int64_t lastFrame = 0;
    const auto started = std::chrono::steady_clock::now();
    const LoopEnd end = RunFrameLoop(*host, *game, &hooks, &lastFrame);
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    SetHost(nullptr);
    SetUnwatched(false);
    if (end == LoopEnd::StartupFailed) {
        outcome.words = "start-up failed (data directory '" + dataDir + "')";
        return outcome;
    }
    const bool verified = check.Judge(*game, outcome.seconds);
    outcome.kind = verified ? ReplayCheckOutcome::Kind::Verified : ReplayCheckOutcome::Kind::NotVerified;
    outcome.words = check.Words();
    outcome.difficulty = game->match.difficulty;
    if (verified) outcome.results = check.Results(*game);
    return outcome;
}
