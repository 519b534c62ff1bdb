#pragma once
#include <cstdint>

#include "app/LiveFeed.h"
#include "app/PlayPicture.h"
#include "app/Recorder.h"
#include "io/OnlineTape.h"
#include "io/ReplayFile.h"
#include "match/Match.h"
#include "match/RollbackSession.h"
#include "match/SessionTape.h"
#include "net/NetLink.h"
#include "net/NetPeer.h"
#include "screens/PlayerSetup.h"

// What an online game asks of the game around it (Game gives it).
class OnlineHooks {
public:
    // Play begins at the agreed difficulty with two players: the recording
    // starts (`record`, where games are recorded), then the match, as from
    // the set-up's confirmation. False: it could not begin (the game went
    // back to the menu).
    virtual bool BeginOnlineMatch(int32_t difficulty, bool record) = 0;
    // The set-up screen's picture, behind the wait for the other player.
    virtual void DrawSetupBackground() = 0;
    // A game that ends on a points screen: the screen fades out.
    virtual void FadeOutSetup() = 0;

protected:
    ~OnlineHooks() = default;
};

// A two-player game with a player on another machine: the link and the
// greeting, the rollback session through the levels, the points screens'
// results exchanged between levels, the network overlay (F3) and the end
// of the link. Each machine runs both worms; this one's keys steer its own.
// It records through the game's `Recorder` (and plays its replays back).
class OnlinePlay final : public SessionRecording {
public:
    // The match it plays, the fonts and pictures it draws with, the game
    // around it, and the recorder it records through.
    OnlinePlay(Match& match, const DrawKit& kit, OnlineHooks& hooks, Recorder& recorder)
        : match_(match), kit_(kit), hooks_(hooks), peer_(), recorder_(recorder), tape_(recorder.onlineTape) {}
    // Room: through a room server, which says who hosts.
    enum class Role : uint8_t { None, Host, Join, Room };
    // What the command line (or the two-players screen) asked for. `link`
    // is the program's (the desktop has one; the browser none, and no
    // online play).
    Role role = Role::None;
    uint16_t port = kNetDefaultPort;
    char address[kNetHostNameBytes + 8] = {};
    int32_t inputDelay = 2;
    NetLink* link = nullptr;
    // Role::Room: what the room server is asked for (its host and port,
    // the mode, a code to join).
    NetRoomAsk room;
    bool Wanted() const { return role != Role::None && link != nullptr; }
    // What a program's command line asked for: host on `hostPort`, or join
    // `joinAddress`, over `netLink`, with the input delay.
    void Ask(Role asked, uint16_t hostPort, const char* joinAddress, int32_t delay, NetLink* netLink);
    // ... or a room of the server at `serverHost` (numeric, looked up)
    // and `serverPort`: a new one, the one of `code`, or a quick match.
    void AskRoom(NetRoomMode mode, const char* code, const char* serverHost, uint16_t serverPort, int32_t delay,
                 NetLink* netLink);
    // The side this game plays: Host or Join (a room's once the server
    // paired; None before).
    Role Side() const { return side_; }
    // The way the link's datagrams last went in this game (None before it stood).
    NetPath Path() const { return path_; }

    // After the set-up screen: starts hosting or joining with this side's
    // player (name1, ship1 of `local`). False, with the reason told, when
    // the link cannot start.
    bool Start(const PlayerSetup& local, int32_t difficulty, uint32_t seed, uint64_t dataHash);
    enum class Wait : uint8_t { Waiting, Ready, Failed };
    // A frame of "waiting for the other player": the greeting goes on.
    // Ready: the match is agreed (Welcome(), Local(), Players()); Failed:
    // refused or lost, and the player was told.
    Wait WaitFrame();
    // The match both sides agreed on, and the players as it names them.
    const NetWelcome& Welcome() const { return peer_.Match(); }
    int32_t Local() const override { return replaying_ ? replayLocal_ : (side_ == Role::Host ? 0 : 1); }
    bool TapeHoldsALevelsEndLast(uint8_t* level) const override;
    const PlayerSetup& Players() const { return players_; }

    // Play begins: the match is set up and its first level loaded from the
    // agreed seed.
    void BeginPlay();
    // A frame of the online game; false once it is over and left (the
    // table closed, or Y in the exit box).
    bool PlayFrame(bool escDown);
    // Why the link could not start or the greeting failed, in words.
    const char* Failure() const;
    // Ends the link (a goodbye first when it still stands).
    void Stop();
    bool Active() const { return active_; }
    // The link went, the other player left or the games went out of step
    // before the game was over (the player was told; results kept).
    bool Lost() const { return lost_; }
    // The EXIT box is on show (Esc asked whether to leave).
    bool ExitBoxShown() const { return exitBox_; }

    // The play state's hash as each level (and the game) ended, both
    // machines' every pass sure: alike on the two machines while they are
    // in step. Levels not reached (or not ended online) hold 0.
    uint64_t LevelEndHash(int32_t level) const {
        return level >= 0 && level < Match::kLevels ? levelEndHashes_[level] : 0;
    }
    const RollbackSession& Session() const { return session_; }

    // ---- replays ------------------------------------------------------------
    // Plays a recorded online game (`body` kept alive by the caller) through
    // the session, as BeginPlay begins a live one.
    void BeginReplay(const ReplayHeader& header, const uint8_t* body);
    bool Replaying() const override { return replaying_; }
    bool ReplayEndsHere() const override { return replayEndsHere_; }
    void EndReplay() override;
    void ResumeGenerator() override;
    void TapeAllPasses() override;
    void SettleForStop() override;
    const NetPeer& Peer() const { return peer_; }
    // The room's live feed this machine sends (a room's host only).
    const LiveFeed& Feed() const { return feed_; }

private:
    static void TellEnd(const char* why);
    // After turning a guest away: listens again, the reason kept for the
    // waiting screen. False when the port cannot be had again.
    bool HostAgain();
    static constexpr uint32_t kRefusalFlushMs = 250;
    // The band of "WAITING FOR THE OTHER PLAYER", with a second line ("" none).
    void DrawWaitingBand(const char* second);
    // Hosting: where the other player joins this machine, and what one
    // outside this network needs.
    void DrawHostingText();
    // A room: its code, large, above the waiting band (or the quick match's search).
    void DrawRoomText();
    // A room's link before the server paired it: polled here; once the
    // server says who hosts, the greeting starts. False: the room failed.
    bool FollowRoom();
    // The greeting begins on this side: hosting (the host's welcome) or joining.
    void BeginGreeting();
    void DrawOverlay();
    void ExchangePoints();
    // The link went, the other player left or the games went out of step:
    // the game ends where it stands.
    void EndWhereItStands();
    // A pass of the session with this side's keys; false: nothing was drawn.
    bool AdvanceSession(uint8_t keys);
    // The game's own frame (between levels, the table, after the link
    // went); false once the game is over and left.
    bool OwnFrame();
    // What is drawn over the pass's picture: the waits, the EXIT box, the
    // overlay, why the game ended.
    void DrawOverPlay(bool drawn);
    PassExchange& Exchange() {
        if (replaying_) return tapeExchange_;
        return peer_;
    }
    void BeginSession(int32_t difficulty, uint32_t seed, int32_t delay, PassExchange* exchange);
    // The keys of this side's next pass: the players', or the recording's
    // (false: none comes next, and the replay's end is looked at).
    bool LocalKeys(uint8_t* keys);
    // Recording: the passes confirmed since the last call, with the hashes
    // and the level end's records where they fall, as far as both sides
    // are known to hold them (`all`: every confirmed pass).
    void TapePasses(bool all = false);
    // Recording: a points record of the level end, taped with the next
    // level's first pass.
    void KeepPoints(int32_t player, const NetPoints& points);
    // The last level end's records until the tape passes it.
    struct LevelEndRecord {
        int32_t pass = -1;  // -1: none waits
        uint8_t level = 0;
        uint64_t hash = 0;
        bool taped = false;  // the checkpoint is on the tape
        NetPoints points[2];
        bool have[2] = {};
    };
    LevelEndRecord levelEnd_;
    // Replaying: the points records that come next, applied.
    void TakeTapedPoints(Match& match);
    // Replaying: whether the recording ends here, where play would read it.
    void LookForReplayEnd(const Match& match);
    // The play states of the last hashes, as text, into the player's
    // folder; the files' names (or why they could not be written) into `said`.
    void WriteKeptStates(char* said, size_t size);

    Match& match_;
    DrawKit kit_;
    OnlineHooks& hooks_;
    NetPeer peer_;
    RollbackSession session_;
    PlayerSetup players_;
    PlayerSetup local_;
    NetWelcome welcome_;      // what the host offers each guest
    NetHello hello_;          // this side's greeting
    Role side_ = Role::None;  // the side played (a room's once paired)
    NetPath path_ = NetPath::None;
    char turnedAway_[160] = {};  // why the last guest was turned away ("" none)
    // This machine's addresses as hosting began, shown while it waits.
    char localAddresses_[kShownLocalAddresses][kNetAddressTextBytes] = {};
    int32_t localAddressCount_ = 0;
    char endLine_[64] = {};  // why the game ended, shown under the table ("" none)
    bool active_ = false;
    bool ended_ = false;       // the link went or the peer left: play ends here
    bool lost_ = false;        // ... and the game was not over yet
    bool pointsSent_ = false;  // this side's points for the coming level are on their way
    bool overlay_ = false;     // F3 shows the network overlay
    bool f3Was_ = false;
    bool exitBox_ = false;
    int32_t waitingFrames_ = 0;  // frames in a row the session waited
    uint64_t levelEndHashes_[Match::kLevels] = {};

    Recorder& recorder_;
    OnlineTape& tape_;  // the recorder's
    // The live feed: this machine hosts a room and records the game.
    // FeedPass: a pass's share; FinishFeed: the recording ends (its stop
    // and final header, while the link stands) and what is left of the
    // feed goes, within kFeedFlushMs.
    static constexpr uint32_t kFeedFlushMs = 300;
    bool Feeding() const;
    void FeedPass();
    void FinishFeed();
    LiveFeed feed_;
    NetDatagram flushInbox_[2] = {};
    TapeExchange tapeExchange_;
    bool replaying_ = false;
    int32_t replayLocal_ = 0;
    int32_t tapedPasses_ = 0;
    bool ownPointsTaped_ = false;
    bool replayEndsHere_ = false;  // the recording's stop (or end) came where play would read it
};
