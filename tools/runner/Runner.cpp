#include "Runner.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "Autopilot.h"
#include "GameStateJson.h"
#include "Liveness.h"
#include "RandomInput.h"
#include "Script.h"
#include "app/FrameLoop.h"
#include "app/Game.h"
#include "app/Replay.h"
#include "gfx/Display.h"
#include "gfx/PngWriter.h"
#include "hosts/desktop/DesktopWorldLink.h"
#include "hosts/headless/HeadlessHost.h"
#include "hosts/headless/ReplayCheck.h"
#include "io/SoundBank.h"
#include "net/NetResolver.h"
#include "net/RoomServer.h"
#include "net/UdpLink.h"
#include "platform/Resimulation.h"
#include "platform/Settings.h"
#include "platform/UserDir.h"
#include "world/Difficulty.h"

namespace {

// The resident set now and at its peak, in kB, from /proc/self/status (-1
// where it cannot be read).
struct MemorySample {
    int64_t frame = -1;
    long rssKb = -1;
    long hwmKb = -1;
};

MemorySample SampleMemory(int64_t frame) {
    MemorySample sample;
    sample.frame = frame;
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return sample;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        long value = 0;
        if (std::sscanf(line, "VmRSS: %ld", &value) == 1) sample.rssKb = value;
        if (std::sscanf(line, "VmHWM: %ld", &value) == 1) sample.hwmKb = value;
    }
    std::fclose(f);
    return sample;
}

constexpr int64_t kMemoryStartFrame = 999;  // the 1000th pass
// How long the run waits at its end for the world table's answers.
constexpr auto kWorldWait = std::chrono::seconds(20);

// Applies the script around each pass of the frame loop: input before the
// pass, pictures, state dumps and the end after it. The autopilot, when
// there is one, sets its input after the script's and has its say on the end.
class ScriptHooks : public PassHooks {
public:
    ScriptHooks(HeadlessHost& host, Game& game, const std::vector<ScriptCommand>& commands, int64_t frameLimit,
                FILE* err, Liveness* liveness)
        : host_(host), game_(game), commands_(commands), frameLimit_(frameLimit), err_(err), liveness_(liveness) {}

    void SetAutopilot(Autopilot* autopilot) { autopilot_ = autopilot; }
    // The soak's random input; it runs the autopilot itself.
    void SetRandomInput(RandomInput* random) { random_ = random; }
    void SetPlayingReplay() { playingReplay_ = true; }
    const MemorySample& StartMemory() const { return startMemory_; }
    void SetUntilLevel(int32_t level) { untilLevel_ = level; }
    void SetFinalState(const std::string& path) { finalStatePath_ = path; }
    void SetSyncTest(const PlaySyncTest* syncTest) { syncTest_ = syncTest; }
    bool SyncTestFailed() const { return syncTestFailed_; }
    // An online run: paced by the other game (or by real time), watched for
    // a game that never began or ended before it was over.
    void SetOnline(bool realTime, FILE* out) {
        online_ = true;
        realTime_ = realTime;
        out_ = out;
    }
    void SetRealTime() { realTime_ = true; }
    // A live game watched: the run ends with the watching (or its refusal);
    // a frame that plays nothing of it sleeps a little rather than spin.
    void SetWatching() { watching_ = true; }
    int64_t WaitFrames() const { return waitFrames_; }
    int64_t FastFrames() const { return fastFrames_; }
    // How far behind the newest pass held the watched frames were, in passes.
    int64_t MeanBehind() const { return behindCount_ > 0 ? behindSum_ / behindCount_ : 0; }
    int64_t MostBehind() const { return behindMost_; }
    bool OnlineFailed() const { return online_ && (!sawOnlinePlay_ || (endSeen_ ? lostAtEnd_ : game_.online.Lost())); }
    int64_t MeanRoundTripMs() const { return roundTrips_ > 0 ? roundTripSum_ / roundTrips_ : 0; }

    void BeforePass(int64_t frame) override {
        SoundBank::ClearStartedLog();
        while (inputNext_ < commands_.size() && commands_[inputNext_].frame <= frame) {
            const ScriptCommand& cmd = commands_[inputNext_++];
            switch (cmd.op) {
            case ScriptOp::Press:
            case ScriptOp::Release: {
                const bool down = cmd.op == ScriptOp::Press;
                if (cmd.key == kMouseButtonKey)
                    host_.SetMouseButton(down);
                else
                    host_.SetKey(static_cast<uint8_t>(cmd.key), down);
                break;
            }
            case ScriptOp::Mouse:
                host_.MoveMouseTo(cmd.x, cmd.y);
                break;
            case ScriptOp::Focus:
                host_.SetFocused(cmd.focused);
                break;
            case ScriptOp::Pad:
                ApplyPad(cmd);
                break;
            default:
                break;
            }
        }
        if (random_)
            random_->BeforePass(frame);
        else if (autopilot_ && !endSeen_)
            autopilot_->BeforePass(frame);
    }

    bool AfterPass(int64_t frame) override {
        bool goOn = true;
        if (random_) {
            random_->AfterPass(frame);
            if (frame == kMemoryStartFrame || (frame < kMemoryStartFrame && frame + 1 >= frameLimit_))
                startMemory_ = SampleMemory(frame);
        }
        while (outputNext_ < commands_.size() && commands_[outputNext_].frame <= frame) {
            const ScriptCommand& cmd = commands_[outputNext_++];
            switch (cmd.op) {
            case ScriptOp::Shot:
                if (!WriteShot(cmd)) goOn = false;
                break;
            case ScriptOp::State:
                if (!WriteState(cmd, frame)) goOn = false;
                break;
            case ScriptOp::Settings:
                if (!CopySettings(cmd)) goOn = false;
                break;
            case ScriptOp::End:
                goOn = false;
                break;
            default:
                break;
            }
        }
        if (syncTest_ != nullptr && syncTest_->Failed() && !syncTestFailed_) {
            syncTestFailed_ = true;
            std::fprintf(err_, "voidcrawl-headless: sync test: out of step at pass %lld, level %d: %s\n",
                         static_cast<long long>(frame), static_cast<int>(syncTest_->FailedLevel()),
                         syncTest_->Failure());
            goOn = false;
        }
        bool ends = autopilot_ && !autopilot_->AfterPass(frame);
        if (playingReplay_ && game_.recorder.end != Game::ReplayEnd::None) goOn = false;
        if (watching_) goOn = goOn && WatchGoesOn();
        if (!liveness_->AfterPass(game_, frame)) {
            std::fprintf(err_, "voidcrawl-headless: play stalled: %s\n", liveness_->Failure());
            goOn = false;
        }
        if (untilLevel_ > 0 && game_.state == GameState::Playing && game_.match.level && game_.match.IntroPending() &&
            game_.match.levelIndex + 1 == untilLevel_)
            ends = true;
        if (online_) {
            TellRoomCode();
            // The run that gets to its end first stays a while for the
            // other's (its last keys may still be on their way), until the
            // other says goodbye; a goodbye then is no lost game.
            if (ends && !endSeen_) {
                endSeen_ = true;
                lostAtEnd_ = game_.online.Lost();
            }
            if (endSeen_ && !Linger()) goOn = false;
            PaceOnline(frame);
        } else {
            if (ends) goOn = false;
            if (realTime_) PaceOnline(frame);  // --online-menu: the game's own pace
        }
        if (frame + 1 >= frameLimit_) goOn = false;
        if (!goOn && !finalStatePath_.empty()) {
            std::ofstream file(finalStatePath_, std::ios::binary | std::ios::trunc);
            if (file) file << GameStateJson(game_, frame);
            if (!file) {
                std::fprintf(err_, "voidcrawl-headless: cannot write the final state '%s'\n", finalStatePath_.c_str());
                outputFailed_ = true;
            }
        }
        return goOn;
    }

    bool OutputFailed() const { return outputFailed_; }
    void SetSettingsPath(const std::string& path) { settingsPath_ = path; }

private:
    // A room's code, on its own line as soon as the server names it, for
    // the player (or the test) that tells the other one.
    void TellRoomCode() {
        if (roomTold_ || game_.online.link == nullptr) return;
        const NetRoomState room = game_.online.link->RoomState();
        if (room.code[0] == '\0') return;
        std::fprintf(out_, "room: %s\n", room.code);
        std::fflush(out_);
        roomTold_ = true;
    }

    // The run stays at least kLingerMs, and until the other side's keys go
    // on past the pass its end came on (it has played past the same end,
    // its intro and all): a relayed link that waited a lot may be seconds
    // behind, and a goodbye before its end came would end its game there.
    // kLingerLongestMs bounds it where the other never goes on.
    bool Linger() {
        const NetPeer& peer = game_.online.Peer();
        if (peer.GetState() != NetPeer::State::Playing) return false;
        const auto now = std::chrono::steady_clock::now();
        if (lingerSince_ == std::chrono::steady_clock::time_point()) {
            lingerSince_ = now;
            lingerKeys_ = static_cast<int64_t>(game_.online.Session().Pass()) + game_.online.Session().Delay();
        }
        const auto lingered = now - lingerSince_;
        if (lingered >= std::chrono::milliseconds(kLingerLongestMs)) return false;
        return lingered < std::chrono::milliseconds(kLingerMs) ||
               static_cast<int64_t>(peer.PeerPasses()) <= lingerKeys_;
    }

    // A pass that ran nothing of the session sleeps a little rather than
    // spin; with realTime_ every pass takes its 10 ms.
    void PaceOnline(int64_t frame) {
        const OnlinePlay& online = game_.online;
        // (A watched game is played by no link of this run's.)
        if (game_.state == GameState::Playing && online.Active() && online.link != nullptr) {
            sawOnlinePlay_ = true;
            const uint32_t rtt = game_.online.link->RoundTripMs();
            if (rtt != 0) {
                roundTripSum_ += rtt;
                ++roundTrips_;
            }
        }
        const auto now = std::chrono::steady_clock::now();
        if (frame == 0) paceStart_ = now;
        if (realTime_) {
            std::this_thread::sleep_until(paceStart_ + std::chrono::milliseconds(kPassMs * (frame + 1)));
        } else if (online.Session().Pass() == lastPass_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        lastPass_ = online.Session().Pass();
    }

    static constexpr int kLingerMs = 2000;
    static constexpr int kLingerLongestMs = 30000;

    bool WatchGoesOn() {
        const LiveWatch& live = game_.live;
        if (live.GetStage() == LiveWatch::Stage::Refused) return false;
        if (game_.watchingLive) watchBegan_ = true;
        if (watchBegan_ && !game_.watchingLive) return false;  // its end (or Esc)
        const bool waits = !game_.watchingLive || live.Waiting();
        if (game_.watchingLive && live.Waiting()) ++waitFrames_;
        if (game_.watchingLive && game_.watchSpeed == kWatchFastSpeed) ++fastFrames_;
        if (game_.watchingLive) {
            const uint32_t held = live.PassesHeld(), played = game_.recorder.onlineTape.Passes();
            const int64_t behind = held > played ? held - played : 0;
            behindSum_ += behind;
            ++behindCount_;
            if (behind > behindMost_) behindMost_ = behind;
        }
        if (waits) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return true;
    }

    // A pad is plugged in by its first command.
    void ApplyPad(const ScriptCommand& cmd) {
        PadMapper& pads = host_.Pads();
        if (cmd.padEvent == ScriptCommand::PadEvent::Unplug) {
            pads.Disconnect(cmd.pad);
            return;
        }
        if (!pads.Connected(cmd.pad)) pads.Connect(cmd.pad);
        if (cmd.padEvent == ScriptCommand::PadEvent::Button) pads.Button(cmd.pad, cmd.padIndex, cmd.padValue != 0);
        if (cmd.padEvent == ScriptCommand::PadEvent::Axis) pads.Axis(cmd.pad, cmd.padIndex, cmd.padValue);
    }

    bool Fail(const ScriptCommand& cmd, const std::string& message) {
        std::fprintf(err_, "script:%d: %s\n", cmd.line, message.c_str());
        outputFailed_ = true;
        return false;
    }

    bool WriteShot(const ScriptCommand& cmd) {
        if (!primarySurface || !primarySurface->pixels) return Fail(cmd, "no picture on the screen");
        PaletteEntry palette[kPaletteSize];
        GetDisplayPalette(0, kPaletteSize, palette);
        std::string error;
        if (!WritePalettedPng(cmd.path, primarySurface->pixels, kScreenWidth, kScreenHeight, palette, &error))
            return Fail(cmd, error);
        return true;
    }

    bool WriteState(const ScriptCommand& cmd, int64_t frame) {
        const std::string text = GameStateJson(game_, frame);
        std::ofstream file(cmd.path, std::ios::binary | std::ios::trunc);
        if (file) file << text;
        if (!file) return Fail(cmd, "cannot write '" + cmd.path + "'");
        return true;
    }

    // The settings file as it is now; a file not made yet copies as empty.
    bool CopySettings(const ScriptCommand& cmd) {
        if (settingsPath_.empty()) return Fail(cmd, "settings needs --settings");
        std::ifstream in(settingsPath_, std::ios::binary);
        std::ofstream file(cmd.path, std::ios::binary | std::ios::trunc);
        if (file && in) file << in.rdbuf();
        if (!file) return Fail(cmd, "cannot write '" + cmd.path + "'");
        return true;
    }

    HeadlessHost& host_;
    Game& game_;
    const std::vector<ScriptCommand>& commands_;
    const int64_t frameLimit_;
    FILE* err_;
    Liveness* liveness_;
    Autopilot* autopilot_ = nullptr;
    RandomInput* random_ = nullptr;
    bool playingReplay_ = false;
    const PlaySyncTest* syncTest_ = nullptr;
    bool syncTestFailed_ = false;
    MemorySample startMemory_;
    int32_t untilLevel_ = 0;
    std::string finalStatePath_;
    std::string settingsPath_;
    bool online_ = false;
    bool realTime_ = false;
    bool sawOnlinePlay_ = false;
    bool endSeen_ = false;  // the run's end came (online it may linger)
    bool lostAtEnd_ = false;
    bool roomTold_ = false;
    bool watching_ = false;
    bool watchBegan_ = false;
    int64_t waitFrames_ = 0;
    int64_t fastFrames_ = 0;
    int64_t behindSum_ = 0, behindCount_ = 0, behindMost_ = 0;
    FILE* out_ = stdout;
    int32_t lastPass_ = -1;
    int64_t roundTripSum_ = 0;
    int64_t roundTrips_ = 0;
    std::chrono::steady_clock::time_point paceStart_;
    std::chrono::steady_clock::time_point lingerSince_;
    int64_t lingerKeys_ = 0;  // the other's keys up to this run's end; more: it played past it
    size_t inputNext_ = 0;
    size_t outputNext_ = 0;
    bool outputFailed_ = false;
};

std::string Absolute(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

// The end of an online run: each level's end state hash, then the session's
// figures (rollback depths as passes run again, its costliest in us).
void PrintLevelHashes(const Game& game, FILE* out) {
    for (int32_t level = 0; level < Match::kLevels; ++level)
        if (game.online.LevelEndHash(level) != 0)
            std::fprintf(out, "level %d hash %016llx\n", static_cast<int>(level + 1),
                         static_cast<unsigned long long>(game.online.LevelEndHash(level)));
}

void PrintOnlineSummary(const Game& game, int64_t meanRoundTripMs, FILE* out) {
    PrintLevelHashes(game, out);
    const RollbackSession& session = game.online.Session();
    const int32_t deepest = session.DeepestRollback();
    std::fprintf(out,
                 "online: passes %d, rollbacks %lld (depth median %d, p99 %d, deepest %d, %d-deep mean %.1f us), "
                 "waits %lld, evened %lld, round trip %lld ms, delay %d (%d changes)\n",
                 static_cast<int>(session.Pass()), static_cast<long long>(session.Rollbacks()),
                 session.RollbackDepthAt(500), session.RollbackDepthAt(990), deepest, deepest,
                 static_cast<double>(session.MeanRollbackNanos(deepest)) / 1000.0,
                 static_cast<long long>(session.Waits()), static_cast<long long>(session.Evened()),
                 static_cast<long long>(meanRoundTripMs), static_cast<int>(session.Delay()),
                 static_cast<int>(session.DelayChanges()));
    if (game.online.link != nullptr) {
        const NetLinkCounts c = game.online.link->Counts();
        std::fprintf(out, "link: sent %u, received %u, dropped %u, forged %u, strangers %u, server %u\n",
                     static_cast<unsigned>(c.sent), static_cast<unsigned>(c.received), static_cast<unsigned>(c.dropped),
                     static_cast<unsigned>(c.forged), static_cast<unsigned>(c.strangers),
                     static_cast<unsigned>(c.server));
        // The way the link's datagrams last went (a room's may be the relay).
        const NetPath path = game.online.Path();
        if (path != NetPath::None) std::fprintf(out, "path: %s\n", path == NetPath::Relayed ? "RELAYED" : "DIRECT");
    }
}

// At the run's end, the world table's answer to the game just played (and
// the games kept from earlier runs) is waited for a while, as a player at
// the table would, then said; the link's first failure ends the wait (the
// games stay kept for a later run).
void WaitForWorld(Game& game, DesktopWorldLink& link, const std::string& finalState, int64_t frame, FILE* out) {
    const bool sending = GetHost()->CurrentSettings().worldSend;
    const auto until = std::chrono::steady_clock::now() + kWorldWait;
    while (std::chrono::steady_clock::now() < until) {
        game.world.AfterPass(game.recorder);
        const bool waiting = game.world.standing == WorldPlay::Standing::Sending || (sending && link.Waiting() > 0);
        if (!waiting || !link.LastFailure().empty()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const WorldPlay& world = game.world;
    switch (world.standing) {
    case WorldPlay::Standing::None:
        break;
    case WorldPlay::Standing::Sending:
        std::fprintf(out, "world: kept to send later: %s\n", link.LastFailure().c_str());
        break;
    case WorldPlay::Standing::Ranked:
        for (int p = 0; p < world.answer.count; ++p)
            std::fprintf(out, "world: %s player %d %s\n", world.answer.id, p + 1, world.RankText(p));
        break;
    case WorldPlay::Standing::Refused:
        std::fprintf(out, "world: refused: %s\n", world.reason);
        break;
    case WorldPlay::Standing::NotKept:
        std::fprintf(out, "world: not kept: %s\n", world.reason);
        break;
    }
    if (sending) std::fprintf(out, "world: %d kept to send\n", link.Waiting());
    if (!finalState.empty()) {
        std::ofstream file(finalState, std::ios::binary | std::ios::trunc);
        file << GameStateJson(game, frame);
    }
}

}  // namespace

int RunRunner(const RunnerOptions& options, FILE* out, FILE* err) {
    // Everything the script names is relative to where the runner started.
    std::vector<ScriptCommand> commands;
    if (!options.scriptPath.empty()) {
        std::string error;
        if (!LoadScript(options.scriptPath, &commands, &error)) {
            std::fprintf(err, "%s\n", error.c_str());
            return kExitBadInput;
        }
        for (ScriptCommand& cmd : commands)
            if (cmd.op == ScriptOp::Shot || cmd.op == ScriptOp::State || cmd.op == ScriptOp::Settings)
                cmd.path = Absolute(cmd.path);
    }

    // A replay is read and checked before anything runs.
    ReplayCheck check;
    const ReplayHeader& replay = check.Header();
    const bool playReplay = !options.replayPath.empty();
    const std::string replayPath = playReplay ? Absolute(options.replayPath) : std::string();
    if (playReplay && !check.Read(options.replayPath.c_str())) {
        std::fprintf(err, "voidcrawl-headless: cannot play the replay '%s': %s\n", options.replayPath.c_str(),
                     check.Words().c_str());
        return kExitBadInput;
    }

    int64_t frameLimit = kDefaultFrames;
    const bool watch = !options.watchCode.empty();
    if (watch && options.frames <= 0)
        frameLimit = kAutopilotFrames;
    else if (playReplay)
        frameLimit = check.Frames();
    else if (options.frames > 0)
        frameLimit = options.frames;
    else if (options.autopilot)
        frameLimit = options.randomInput ? kSoakFrames : kAutopilotFrames;
    else if (options.randomInput && commands.empty())
        frameLimit = kSoakFrames;
    else if (!commands.empty())
        frameLimit = commands.back().frame + 1;
    const std::string finalState = options.finalStatePath.empty() ? std::string() : Absolute(options.finalStatePath);
    const std::string settingsPath = options.settingsPath.empty() ? std::string() : Absolute(options.settingsPath);

    // The game reads its data in the data directory, and writes high scores
    // and dumps there too unless given a user folder of its own.
    const std::string dataDir = Absolute(options.dataDir.empty() ? DefaultDataDir() : options.dataDir);
    const ScopedUserDir userDir(options.userDir.empty() ? dataDir : Absolute(options.userDir));
    if (chdir(dataDir.c_str()) != 0) {
        std::fprintf(err, "voidcrawl-headless: cannot enter the data directory '%s': %s\n", dataDir.c_str(),
                     std::strerror(errno));
        return kExitStartupFailed;
    }

    if (playReplay && !check.Fits()) {
        std::fprintf(err, "voidcrawl-headless: cannot play the replay '%s': %s\n", options.replayPath.c_str(),
                     check.Words().c_str());
        return kExitBadInput;
    }

    std::unique_ptr<HeadlessHost> host = std::make_unique<HeadlessHost>();
    std::unique_ptr<Game> game = std::make_unique<Game>();
    const bool online = options.online != RunnerOptions::Online::None;
    std::unique_ptr<DesktopWorldLink> world;
    std::unique_ptr<UdpLink> link;
    if (online || options.onlineMenu) {
        link = std::make_unique<UdpLink>();
        link->SetTimeout(options.linkTimeoutMs);
    }
    game->online.link = link.get();
    // As the desktop does: the address to join is looked up before the game starts.
    NetResolver joinAt;
    if (options.online == RunnerOptions::Online::Join &&
        (!joinAt.Start(options.joinAddress.c_str()) || joinAt.WaitForAnswer() != NetResolver::State::Done)) {
        std::fprintf(err, "voidcrawl-headless: cannot join '%s': %s\n", options.joinAddress.c_str(), joinAt.Failure());
        return kExitOnlineFailed;
    }
    if (options.online == RunnerOptions::Online::Room) {
        // The room server is the world table's: its host, looked up now, and its port.
        char serverHost[kNetHostNameBytes];
        uint16_t serverPort = 0;
        char why[kNetHostNameBytes + 96];
        if (!LookUpRoomServer(options.worldServer.c_str(), serverHost, sizeof serverHost, &serverPort, why,
                              sizeof why)) {
            std::fprintf(err, "voidcrawl-headless: cannot reach the room server '%s': %s\n",
                         options.worldServer.c_str(), why);
            return kExitOnlineFailed;
        }
        link->SetRelayFromStart(options.roomRelay);
        game->online.AskRoom(options.roomMode, options.roomCode.c_str(), serverHost, serverPort, options.inputDelay,
                             link.get());
    } else if (online) {
        game->online.Ask(
            options.online == RunnerOptions::Online::Host ? OnlinePlay::Role::Host : OnlinePlay::Role::Join,
            options.port, joinAt.Numeric(), options.inputDelay, link.get());
    }
    game->useSeed = true;
    game->seed = options.seed;
    if (!settingsPath.empty() || !options.worldServer.empty()) {
        // As the desktop reads its file: a broken one costs a line per problem.
        Settings settings;
        std::vector<std::string> problems;
        if (!settingsPath.empty()) LoadSettings(settingsPath.c_str(), &settings, &problems);
        for (const std::string& problem : problems)
            std::fprintf(err, "voidcrawl-headless: settings: %s\n", problem.c_str());
        // --world-server holds for this run, over the file's, and is never kept.
        RunChoices run;
        std::snprintf(run.worldServer, sizeof run.worldServer, "%s", options.worldServer.c_str());
        settings = SettingsForRun(settings, run, false);
        host->KeepSettings(settings, settingsPath);
        if (settings.worldServer[0] != '\0') {
            // The world table's link, its outbox beside the settings file
            // (without one, in the user folder).
            DesktopWorldLink::Options worldOptions;
            worldOptions.folder = settingsPath.empty() ? std::string(GetUserDir())
                                                       : std::filesystem::path(settingsPath).parent_path().string();
            world = std::make_unique<DesktopWorldLink>(worldOptions);
            host->UseWorld(world.get());
        }
        host->Pads().SetPlayKeys(settings.keys);
        host->Pads().SetBindings(settings.pad);
        game->match.SetPlayKeys(settings.keys);
    }

    // Every run is watched for stalled play; runs whose input moves on by
    // itself (the autopilot, the soak) are also watched for screens and
    // levels that never end.
    Liveness liveness(options.autopilot || options.randomInput);
    ScriptHooks hooks(*host, *game, commands, frameLimit, err, &liveness);
    std::unique_ptr<Autopilot> autopilot;
    if (options.autopilot) {
        Autopilot::Options pilot;
        pilot.startFromMenu = (options.scriptPath.empty() || online) && !options.randomInput;
        pilot.stopAtEnd = !options.randomInput;
        pilot.steer = options.steer;
        if (online) {
            // Host is player 1, the joining side player 2; a quick match's
            // side is known only once the server pairs (the autopilot then
            // steers that side's worm alone).
            const bool quick = options.online == RunnerOptions::Online::Room && options.roomMode == NetRoomMode::Quick;
            const bool hosting =
                options.online == RunnerOptions::Online::Host ||
                (options.online == RunnerOptions::Online::Room && options.roomMode == NetRoomMode::Create);
            pilot.online = true;
            if (!quick) pilot.steer &= hosting ? kSteerPlayer1 : kSteerPlayer2;
            pilot.name = quick ? "QUICK" : (hosting ? "HOST" : "GUEST");
        }
        pilot.difficulty = options.difficulty;
        pilot.pads = options.autopilotPads;
        autopilot = std::make_unique<Autopilot>(*host, *game, pilot, out);
        hooks.SetAutopilot(autopilot.get());
    }
    std::unique_ptr<RandomInput> random;
    if (options.randomInput) {
        random = std::make_unique<RandomInput>(*host, *game, options.seed, autopilot.get());
        hooks.SetRandomInput(random.get());
    }
    if (playReplay) {
        // Checking a replay, nobody sees or hears it: its pictures are not
        // drawn nor its sound mixed (play is the same without them), unless
        // the run shows or hashes them.
        bool shows = options.hashFrames;
        for (const ScriptCommand& cmd : commands) shows = shows || cmd.op == ScriptOp::Shot;
        check.Begin(*game, options.verify && !shows);
        // A replay of the replay folder that verifies joins the checked results.
        char folderName[kReplayNameSize];
        if (ReplayFolderName(replayPath.c_str(), folderName))
            game->NoteReplaySource(folderName, check.Bytes(), check.Size());
        hooks.SetPlayingReplay();
    }
    std::unique_ptr<PlaySyncTest> syncTest;
    if (options.syncTest) {
        syncTest = std::make_unique<PlaySyncTest>();
        game->syncTest = syncTest.get();
        hooks.SetSyncTest(syncTest.get());
    }
    if (watch) {
        if (!world || !game->WatchLive(world.get(), options.watchCode.c_str())) {
            std::fprintf(out, "watch: cannot watch %s: %s\n", options.watchCode.c_str(), game->live.Reason());
            return kExitOnlineFailed;
        }
        hooks.SetWatching();
    }
    if (options.hashFrames) host->HashPresents();
    hooks.SetUntilLevel(options.untilLevel);
    hooks.SetFinalState(finalState);
    hooks.SetSettingsPath(settingsPath);
    if (online) hooks.SetOnline(options.realTime, out);
    if ((options.onlineMenu || watch) && options.realTime) hooks.SetRealTime();
    int64_t lastFrame = 0;
    const auto started = std::chrono::steady_clock::now();
    const LoopEnd end = RunFrameLoop(*host, *game, &hooks, &lastFrame);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (world && end != LoopEnd::StartupFailed) WaitForWorld(*game, *world, finalState, lastFrame, out);
    SetHost(nullptr);
    SetUnwatched(false);

    switch (end) {
    case LoopEnd::StartupFailed:
        std::fprintf(err, "voidcrawl-headless: start-up failed (data directory '%s')\n", dataDir.c_str());
        return kExitStartupFailed;
    case LoopEnd::GameQuit:
        std::fprintf(out, "quit at frame %lld\n", static_cast<long long>(lastFrame));
        break;
    case LoopEnd::CloseRequested:
    case LoopEnd::HooksStopped:
        break;
    }
    if (random && end != LoopEnd::StartupFailed) {
        const int64_t* counts = random->Counts();
        std::fprintf(out, "soak:");
        for (int32_t k = 0; k < kSoakScreenCount; ++k)
            std::fprintf(out, " %s=%lld", SoakScreenName(k), static_cast<long long>(counts[k]));
        std::fprintf(out, "\n");
        const MemorySample& first = hooks.StartMemory();
        const MemorySample last = SampleMemory(lastFrame);
        std::fprintf(out,
                     "soak-memory: frame %lld VmRSS=%ld kB VmHWM=%ld kB, end frame %lld VmRSS=%ld kB VmHWM=%ld kB\n",
                     static_cast<long long>(first.frame), first.rssKb, first.hwmKb, static_cast<long long>(last.frame),
                     last.rssKb, last.hwmKb);
    }
    bool outOfStep = false;
    if (playReplay && end != LoopEnd::StartupFailed) {
        outOfStep = !check.Judge(*game, seconds);
        std::fprintf(out, "replay: %s\n", check.Words().c_str());
        if (!outOfStep) std::fputs(ReplayResultLines(check.Results(*game)).c_str(), out);
    }
    if (game->recorder.name[0] != '\0') {
        std::fprintf(out, "replay: saved %s/%s/%s (%zu bytes, %u passes)\n", GetUserDir(), kReplayFolder,
                     game->recorder.name, kReplayHeaderBytes + static_cast<size_t>(game->recorder.header.tapeBytes),
                     game->recorder.header.passes);
    }
    if (options.hashFrames && end != LoopEnd::StartupFailed)
        std::fprintf(out, "frames: presents=%lld hash=%016llx\n", static_cast<long long>(host->PresentCount()),
                     static_cast<unsigned long long>(host->PresentHash()));
    if (end != LoopEnd::StartupFailed && (random || autopilot || liveness.Failed())) liveness.PrintSummary(out);
    if (syncTest && end != LoopEnd::StartupFailed)
        std::fprintf(out,
                     "sync-test: checked %lld passes, %lld run once, %lld rollbacks of 1 to %d passes; snapshot up "
                     "to %zu bytes, save %.0f ns, restore %.0f ns\n",
                     static_cast<long long>(syncTest->Checked()), static_cast<long long>(syncTest->RunOnce()),
                     static_cast<long long>(syncTest->Rollbacks()), static_cast<int>(syncTest->DeepestRollback()),
                     syncTest->LargestSnapshot(), syncTest->MeanSaveNanos(), syncTest->MeanRestoreNanos());
    if (online && end != LoopEnd::StartupFailed) PrintOnlineSummary(*game, hooks.MeanRoundTripMs(), out);
    if (playReplay && (replay.flags & kReplayOnline) != 0) PrintLevelHashes(*game, out);
    if (watch && end != LoopEnd::StartupFailed) {
        PrintLevelHashes(*game, out);
        const LiveWatch& live = game->live;
        if (live.GetStage() == LiveWatch::Stage::Refused) {
            std::fprintf(out, "watch: cannot watch %s: %s\n", options.watchCode.c_str(), live.Reason());
            return kExitOnlineFailed;
        }
        if (game->recorder.end == ReplayVerdict::Verified)
            std::fprintf(out, "watch: verified %u state hashes, %u passes\n", game->recorder.Hashes(),
                         game->recorder.onlineTape.Passes());
        else
            std::fprintf(
                out, "watch: not verified: %s\n",
                game->recorder.end == ReplayVerdict::None ? "the watching was cut off" : game->recorder.verdict);
        std::fprintf(out, "watch: %u passes, %u answers, %lld frames waiting, %lld frames at 2x\n",
                     game->recorder.onlineTape.Passes(), live.Answers(), static_cast<long long>(hooks.WaitFrames()),
                     static_cast<long long>(hooks.FastFrames()));
        std::fprintf(out, "watch: behind the newest pass held by %lld passes on the mean, %lld at most\n",
                     static_cast<long long>(hooks.MeanBehind()), static_cast<long long>(hooks.MostBehind()));
    }
    if (hooks.SyncTestFailed()) return kExitSyncTest;
    if (liveness.Failed()) return kExitStalled;
    if (outOfStep && options.verify) return kExitOutOfStep;
    if (hooks.OnlineFailed()) return kExitOnlineFailed;
    return hooks.OutputFailed() ? kExitBadInput : kExitOk;
}
