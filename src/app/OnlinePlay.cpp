#include "app/OnlinePlay.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "app/CommandLine.h"
#include "gfx/Display.h"
#include "io/Input.h"
#include "match/PlaySnapshot.h"
#include "platform/Host.h"
#include "platform/SaveFile.h"
#include "world/Random.h"

namespace {

// A play state as text: a line for each value the state hash takes.
constexpr size_t kStateTextBytes = 96 * 1024;

// Passes the session may wait in a row before the player is told why play
// stands still (a short wait is a hitch, not worth a word).
constexpr int32_t kWaitShownAfter = 30;

uint32_t NowMs() {
    Host* host = GetHost();
    return host != nullptr ? host->Ticks() : 0;
}

// This side's player as its points screen closed, for `level`.
NetPoints PointsRecord(const Worm& w, uint8_t level) {
    NetPoints p;
    p.level = level;
    std::memcpy(&p.velocityBits, &w.stats.velocity, sizeof p.velocityBits);
    std::memcpy(&p.accelerationBits, &w.stats.acceleration, sizeof p.accelerationBits);
    p.shieldRecover = w.stats.shieldRecover;
    p.plasmaShields = w.stats.plasmaShields;
    p.hsJumpSeconds = w.stats.hsJumpSeconds;
    p.maxWarpGates = w.stats.maxWarpGates;
    p.lives = w.stats.lives;
    p.points = w.points;
    return p;
}

// A points record's ship values.
ShipStats StatsOf(const NetPoints& p) {
    ShipStats stats;
    std::memcpy(&stats.velocity, &p.velocityBits, sizeof stats.velocity);
    std::memcpy(&stats.acceleration, &p.accelerationBits, sizeof stats.acceleration);
    stats.shieldRecover = p.shieldRecover;
    stats.plasmaShields = p.plasmaShields;
    stats.hsJumpSeconds = p.hsJumpSeconds;
    stats.maxWarpGates = p.maxWarpGates;
    stats.lives = p.lives;
    return stats;
}

// A player's points record, taken as that player's screen closed.
void ApplyPoints(Match& match, int32_t player, const NetPoints& p) { match.TakePoints(player, StatsOf(p), p.points); }

// A points record's values as the match checks them against what play gave.
const char* PointsFault(const Match& match, int32_t player, const NetPoints& p) {
    return match.PointsFault(player, StatsOf(p), p.points);
}

// What the player is told of a points record that breaks the rules: on
// stderr and in the message box, and on the screen in the game's letters.
constexpr const char* kCheatText = "the other player's upgrades break the rules";
constexpr const char* kCheatLine = "THE OTHER PLAYER'S UPGRADES BREAK THE RULES";

// A name cut to what the other side's field holds.
void CopyName(char* out, size_t size, const char* name) {
    size_t n = 0;
    while (n + 1 < size && name[n] != '\0') ++n;
    std::memcpy(out, name, n);
    out[n] = '\0';
}

// The waiting band's second line for a room: where the meeting stands.
void RoomWaitingLine(const NetRoomState& r, NetRoomMode mode, char* out, size_t size) {
    const unsigned minutes = r.waitSeconds / 60u, seconds = r.waitSeconds % 60u;
    switch (r.stage) {
    case NetRoomStage::None:
    case NetRoomStage::Asking:
        if (mode == NetRoomMode::Join)
            std::snprintf(out, size, "ENTERING ROOM %s", r.code[0] != '\0' ? r.code : "");
        else
            std::snprintf(out, size, "%s", mode == NetRoomMode::Quick ? "ASKING FOR A QUICK MATCH" : "OPENING A ROOM");
        return;
    case NetRoomStage::Waiting:
        std::snprintf(out, size, "%s %u:%02u MORE",
                      mode == NetRoomMode::Quick ? "LOOKING FOR A PLAYER," : "THE ROOM WAITS", minutes, seconds);
        return;
    case NetRoomStage::Pairing:
    case NetRoomStage::Punching:
        std::snprintf(out, size, "OPENING THE WAY TO THE OTHER GAME");
        return;
    case NetRoomStage::Playing:
        std::snprintf(out, size, "GREETING THE OTHER GAME");
        return;
    }
}

}  // namespace

void OnlinePlay::Ask(Role asked, uint16_t hostPort, const char* joinAddress, int32_t delay, NetLink* netLink) {
    role = asked;
    port = hostPort;
    std::snprintf(address, sizeof address, "%s", joinAddress);
    inputDelay = delay;
    link = netLink;
}

void OnlinePlay::AskRoom(NetRoomMode mode, const char* code, const char* serverHost, uint16_t serverPort, int32_t delay,
                         NetLink* netLink) {
    role = Role::Room;
    room = NetRoomAsk();
    room.mode = mode;
    std::snprintf(room.code, sizeof room.code, "%s", code != nullptr ? code : "");
    std::snprintf(room.serverHost, sizeof room.serverHost, "%s", serverHost);
    room.serverPort = serverPort;
    inputDelay = delay;
    link = netLink;
}

bool OnlinePlay::Start(const PlayerSetup& local, int32_t difficulty, uint32_t seed, uint64_t dataHash) {
    local_ = local;
    ended_ = lost_ = pointsSent_ = exitBox_ = false;
    turnedAway_[0] = endLine_[0] = '\0';
    std::memset(levelEndHashes_, 0, sizeof levelEndHashes_);
    waitingFrames_ = 0;
    NetHello hello;
    std::snprintf(hello.gameVersion, sizeof hello.gameVersion, "%s", kGameVersion);
    hello.dataHash = dataHash;
    CopyName(hello.name, sizeof hello.name, local.name1);
    hello.ship = static_cast<uint8_t>(local.ship1 == 1 ? 1 : 0);
    const int32_t delay =
        inputDelay < 0 ? 0 : (inputDelay > RollbackSession::kMaxDelay ? RollbackSession::kMaxDelay : inputDelay);
    hello.inputDelay = static_cast<uint8_t>(delay);
    hello_ = hello;
    NetWelcome welcome;
    welcome.host = hello;
    welcome.inputDelay = hello.inputDelay;
    welcome.difficulty = static_cast<uint8_t>(difficulty < 0 ? 0 : (difficulty > 2 ? 2 : difficulty));
    welcome.seed = seed;
    welcome_ = welcome;
    peer_ = NetPeer();
    side_ = role == Role::Room ? Role::None : role;
    path_ = NetPath::None;
    if (role == Role::Room) {
        // The server pairs first; the greeting starts once it says who hosts.
        std::snprintf(room.gameVersion, sizeof room.gameVersion, "%s", kGameVersion);
        room.dataHash = dataHash;
        room.difficulty = welcome.difficulty;
        if (!link->Room(room)) return false;
    } else if (role == Role::Host) {
        if (!link->Host(port)) return false;
        localAddressCount_ = ListLocalAddresses(localAddresses_, kShownLocalAddresses);
    } else if (!link->Join(address)) {
        return false;
    }
    if (side_ != Role::None) BeginGreeting();
    active_ = true;
    return true;
}

void OnlinePlay::BeginGreeting() {
    if (side_ == Role::Host)
        peer_.StartHost(link, welcome_);
    else
        peer_.StartJoin(link, hello_);
}

bool OnlinePlay::FollowRoom() {
    NetDatagram none[1];
    link->Poll(none, 0, 0);  // nothing comes for the game before the pairing
    const NetLinkState state = link->State();
    if (state == NetLinkState::Failed || state == NetLinkState::Lost || state == NetLinkState::Closed) return false;
    const NetRoomState r = link->RoomState();
    if (r.role == NetRoomRole::None || (r.stage != NetRoomStage::Punching && r.stage != NetRoomStage::Playing))
        return true;
    // Paired: the link hosts or joins now, and the greeting goes over it.
    side_ = r.role == NetRoomRole::Host ? Role::Host : Role::Join;
    BeginGreeting();
    return true;
}

const char* OnlinePlay::Failure() const {
    if (peer_.Message()[0] != '\0') return peer_.Message();
    return link != nullptr ? link->Failure() : "";
}

OnlinePlay::Wait OnlinePlay::WaitFrame() {
    if (side_ == Role::None && !FollowRoom()) return Wait::Failed;
    peer_.Update(NowMs());
    switch (peer_.GetState()) {
    case NetPeer::State::Playing:
        // The joining side's wish may have raised the input delay past what
        // the session plays with: both sides clamp alike.
        return Wait::Ready;
    case NetPeer::State::Idle:
    case NetPeer::State::Greeting:
        break;
    case NetPeer::State::Refused:
        // A host that turned a guest away (another version, other levels)
        // says so and waits for the next.
        if (side_ == Role::Host && HostAgain()) break;
        return Wait::Failed;
    default:
        return Wait::Failed;
    }
    char second[kNetHostNameBytes + 40];
    if (role == Role::Room)
        RoomWaitingLine(link->RoomState(), room.mode, second, sizeof second);
    else if (role == Role::Host)
        std::snprintf(second, sizeof second, "HOSTING ON PORT %u", static_cast<unsigned>(port));
    else
        std::snprintf(second, sizeof second, "JOINING %s", address);
    hooks_.DrawSetupBackground();
    DrawWaitingBand(second);
    if (role == Role::Room)
        DrawRoomText();
    else if (role == Role::Host)
        DrawHostingText();
    if (turnedAway_[0] != '\0') {
        char line[sizeof turnedAway_ + 16];
        std::snprintf(line, sizeof line, "TURNED AWAY: %s", turnedAway_);
        // On the waiting text's band, below its two lines.
        Font& small = *kit_.small;
        const int32_t top = 240 + kit_.medium->cellHeight + 16;
        FillRect(0, top, kScreenWidth, top + small.cellHeight + 8, backBuffer, 0);
        small.DrawText(backBuffer, 320 - small.TextWidth(line) / 2, top, line, TextExtent::Whole);
    }
    kit_.small->DrawText(backBuffer, 250, 440, "ESC TO GIVE UP", TextExtent::Whole);
    return Wait::Waiting;
}

void OnlinePlay::DrawHostingText() {
    Font& small = *kit_.small;
    Font& medium = *kit_.medium;
    const int32_t smallLine = small.cellHeight + 2;
    // Under the waiting text's band and the line of a guest turned away,
    // above "ESC TO GIVE UP": at most 4 lines of small print (or 2 of
    // medium) for the addresses.
    const int32_t bandTop = 240 + medium.cellHeight + 16;
    const int32_t bandBottom = 436;
    const int32_t count = localAddressCount_;
    // The addresses in the medium font when two or fewer are shown and each
    // fits across the screen, else in the small one.
    bool large = count <= 2;
    bool ipv6 = false;
    char shown[kShownLocalAddresses][kNetAddressTextBytes + 8];
    for (int32_t i = 0; i < count; ++i) {
        std::snprintf(shown[i], sizeof shown[i], "%s:%u", localAddresses_[i], static_cast<unsigned>(port));
        large = large && medium.TextWidth(shown[i]) <= 600;
        ipv6 = ipv6 || localAddresses_[i][0] == '[';
    }
    Font& addressFont = large ? medium : small;
    const int32_t addressLine = large ? addressFont.cellHeight + 4 : smallLine;
    FillRect(0, bandTop, kScreenWidth, bandBottom, backBuffer, 0);
    int32_t y = bandTop + smallLine + 6;
    auto centred = [&](Font& font, const char* words, int32_t line) {
        font.DrawText(backBuffer, 320 - font.TextWidth(words) / 2, y, words, TextExtent::Whole);
        y += line;
    };
    if (count == 0) {
        centred(small, "THIS MACHINE SHOWS NO NETWORK ADDRESS:", smallLine);
        centred(small, "ONLY A GAME ON IT CAN JOIN (AT 127.0.0.1)", smallLine);
        return;
    }
    centred(small,
            count == 1 ? "ON THIS NETWORK THE OTHER PLAYER JOINS AT" : "ON THIS NETWORK THE OTHER PLAYER JOINS ONE OF",
            smallLine);
    for (int32_t i = 0; i < count; ++i) centred(addressFont, shown[i], addressLine);
    y += 6;
    char text[120];
    if (ipv6) {
        std::snprintf(text, sizeof text, "FROM OUTSIDE THIS NETWORK: JOIN AT THE IPV6 ADDRESS, OR FORWARD UDP PORT %u",
                      static_cast<unsigned>(port));
        centred(small, text, smallLine);
        centred(small, "ON YOUR ROUTER AND JOIN AT ITS PUBLIC ADDRESS (THE README SAYS HOW)", smallLine);
    } else {
        std::snprintf(text, sizeof text, "FROM OUTSIDE THIS NETWORK: FORWARD UDP PORT %u ON YOUR ROUTER",
                      static_cast<unsigned>(port));
        centred(small, text, smallLine);
        centred(small, "AND JOIN AT THE ROUTER'S PUBLIC ADDRESS (THE README SAYS HOW)", smallLine);
    }
}

void OnlinePlay::DrawRoomText() {
    const NetRoomState r = link->RoomState();
    if (r.code[0] == '\0' || room.mode == NetRoomMode::Quick) return;
    // The code large, above the waiting band, where the other player reads it.
    Font& big = *kit_.big;
    const int32_t bandTop = 240 - kit_.medium->cellHeight - 8;
    const int32_t top = bandTop - 2 * (big.cellHeight + 8) - 16;
    FillRect(0, top - 8, kScreenWidth, bandTop, backBuffer, 0);
    big.DrawText(backBuffer, 320 - big.TextWidth("ROOM") / 2, top, "ROOM", TextExtent::Whole);
    big.DrawText(backBuffer, 320 - big.TextWidth(r.code) / 2, top + big.cellHeight + 8, r.code, TextExtent::Whole);
    // Under the band: what the other player does with it.
    Font& small = *kit_.small;
    const int32_t under = 240 + kit_.medium->cellHeight + 16;
    char line[64];
    std::snprintf(line, sizeof line, "THE OTHER PLAYER CHOOSES JOIN A ROOM AND TYPES %s", r.code);
    FillRect(0, under, kScreenWidth, under + small.cellHeight + 8, backBuffer, 0);
    small.DrawText(backBuffer, 320 - small.TextWidth(line) / 2, under + 4, line, TextExtent::Whole);
}

bool OnlinePlay::HostAgain() {
    std::fprintf(stderr, "voidcrawl: %s; hosting on for another player\n", peer_.Message());
    size_t n = 0;
    for (const char* c = peer_.Message(); *c != '\0' && n + 1 < sizeof turnedAway_; ++c)
        turnedAway_[n++] = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    turnedAway_[n] = '\0';
    // The refusal goes out and the link waits on for the other handshakes;
    // a link that cannot is closed after it, and the port listens again (a
    // room's other player was the only one: the room is over).
    if (!link->Reject()) {
        link->Close(kRefusalFlushMs);
        if (role == Role::Room || !link->Host(port)) return false;
    }
    peer_.StartHost(link, welcome_);
    return true;
}

void OnlinePlay::BeginPlay() {
    feed_ = LiveFeed();
    const NetWelcome& w = peer_.Match();
    const NetHello& joiner = side_ == Role::Host ? peer_.PeerHello() : NetHello();
    players_ = PlayerSetup();
    if (side_ == Role::Host) {
        CopyName(players_.name1, sizeof players_.name1, local_.name1);
        players_.ship1 = local_.ship1 == 1 ? 1 : 0;
        CopyName(players_.name2, sizeof players_.name2, joiner.name);
        players_.ship2 = joiner.ship == 1 ? 1 : 0;
    } else {
        CopyName(players_.name1, sizeof players_.name1, w.host.name);
        players_.ship1 = w.host.ship == 1 ? 1 : 0;
        CopyName(players_.name2, sizeof players_.name2, local_.name1);
        players_.ship2 = local_.ship1 == 1 ? 1 : 0;
    }
    replaying_ = false;
    const int32_t delay = w.inputDelay > RollbackSession::kMaxDelay ? RollbackSession::kMaxDelay : w.inputDelay;
    BeginSession(w.difficulty, w.seed, delay, &peer_);
}

// The match both sides (or a replay) play from the agreed seed, and the
// session over it.
void OnlinePlay::BeginSession(int32_t difficulty, uint32_t seed, int32_t delay, PassExchange* exchange) {
    match_.players = 2;
    match_.SetPlayers(&players_);
    // Both machines read the keys alike: each player's own, as the default
    // bindings name them (whatever this machine's players chose).
    match_.SetPlayKeys(kDefaultPlayKeys);
    SeedRandom(seed);
    if (!replaying_) tape_.Stop();
    tapedPasses_ = 0;
    levelEnd_ = LevelEndRecord();
    ownPointsTaped_ = replayEndsHere_ = false;
    recorder_.BeginOnlineGame();
    if (!hooks_.BeginOnlineMatch(difficulty, !replaying_)) return;
    match_.onlinePlayer = Local();
    session_.Begin(&match_, RandomState(), Local(), delay, exchange);
}

void OnlinePlay::Stop() {
    if (!active_) return;
    if (replaying_) {
        active_ = false;
        return;
    }
    if (peer_.GetState() == NetPeer::State::Playing || peer_.GetState() == NetPeer::State::Greeting) peer_.Leave();
    if (link != nullptr && Feeding()) FinishFeed();
    if (link != nullptr) link->Close(200);
    active_ = false;
}

bool OnlinePlay::Feeding() const {
    // Player 1's machine, the host of a room, recording the game.
    return !replaying_ && role == Role::Room && side_ == Role::Host && link != nullptr &&
           link->RoomState().role == NetRoomRole::Host && tape_.Recording();
}

void OnlinePlay::FeedPass() {
    if (!feed_.Begun()) {
        // The header first, its results still to come (a level of 1, so
        // that it reads as a header).
        ReplayHeader h = recorder_.header;
        h.level = 1;
        WriteReplayHeader(h, recorder_.file);
        feed_.Begin(NowMs());
    }
    feed_.Pass(*link, recorder_.file, kReplayHeaderBytes + tape_.SureSize(), NowMs());
}

void OnlinePlay::FinishFeed() {
    if (!feed_.Begun()) FeedPass();
    // The recording ends here (where it would a moment later, the link
    // gone): its stop, and the file with its final header.
    recorder_.Stop(match_, *this);
    const size_t size = kReplayHeaderBytes + recorder_.header.tapeBytes;
    feed_.End(recorder_.file);
    const uint32_t start = NowMs();
    while (!feed_.Done() && NowMs() - start < kFeedFlushMs) {
        feed_.Pass(*link, recorder_.file, size, NowMs());
        link->Poll(flushInbox_, 2, 5);  // (the other game's goodbye; it has left)
    }
}

void OnlinePlay::WriteKeptStates(char* said, size_t size) {
    static char text[kStateTextBytes];
    // Oldest first, so that the match is left in the newest state kept.
    int32_t order[RollbackSession::kKeptStates];
    int32_t count = 0;
    for (int32_t slot = 0; slot < RollbackSession::kKeptStates; ++slot)
        if (session_.KeptPasses(slot) > 0) order[count++] = slot;
    for (int32_t i = 1; i < count; ++i)
        for (int32_t j = i; j > 0 && session_.KeptPasses(order[j]) < session_.KeptPasses(order[j - 1]); --j) {
            const int32_t t = order[j];
            order[j] = order[j - 1];
            order[j - 1] = t;
        }
    size_t used = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t slot = order[i];
        session_.KeptState(slot).Restore(match_);
        DescribeMatchState(match_, text, sizeof text);
        char name[64];
        std::snprintf(name, sizeof name, "outofstep-%s-pass%d.txt", side_ == Role::Host ? "host" : "join",
                      static_cast<int>(session_.KeptPasses(slot)));
        SaveResult result;
        const bool saved = SaveUserFile(name, text, std::strlen(text), &result);
        const int n =
            std::snprintf(said + used, size - used, "%s%s%s", i == 0 ? "; the play states were written to " : ", ",
                          saved ? result.path : name, saved ? "" : " (not saved)");
        if (n > 0) used = used + static_cast<size_t>(n) < size ? used + static_cast<size_t>(n) : size - 1;
    }
}

void OnlinePlay::TellEnd(const char* why) {
    char text[640];
    std::snprintf(text, sizeof text, "The online game ends here: %s. The results so far are kept.",
                  why != nullptr && why[0] != '\0' ? why : "the connection to the other player was lost");
    std::fprintf(stderr, "voidcrawl: %s\n", text);
    if (Host* host = GetHost()) host->ShowMessage(text, "VoidCrawl");
}

void OnlinePlay::DrawWaitingBand(const char* second) {
    const char* const first = "WAITING FOR THE OTHER PLAYER";
    Font& font = *kit_.medium;
    const int32_t y = 240 - font.cellHeight;
    FillRect(0, y - 8, kScreenWidth, y + 2 * font.cellHeight + 16, backBuffer, 0);
    font.DrawText(backBuffer, 320 - font.TextWidth(first) / 2, y, first, TextExtent::Whole);
    if (second[0] != '\0')
        font.DrawText(backBuffer, 320 - font.TextWidth(second) / 2, y + font.cellHeight + 8, second, TextExtent::Whole);
}

void OnlinePlay::DrawOverlay() {
    // The rollbacks and the waits so far, with the round trip now, the
    // input delay as the round trip set it (and a change agreed on), and
    // the datagrams that failed the link's authentication.
    char text[160];
    const uint32_t roundTrip = link->RoundTripMs() != 0 ? link->RoundTripMs() : peer_.RoundTripMs();
    char next[32] = "";
    if (session_.NextDelayPass() >= 0)
        std::snprintf(next, sizeof next, " (%d FROM PASS %d)", static_cast<int>(session_.NextDelay()),
                      static_cast<int>(session_.NextDelayPass()));
    const NetPath path = link->Path();
    std::snprintf(text, sizeof text, "RTT %u MS  DELAY %d%s  ROLLBACKS %lld (UP TO %d)  WAITED %lld  FORGED %u%s",
                  static_cast<unsigned>(roundTrip), static_cast<int>(session_.Delay()), next,
                  static_cast<long long>(session_.Rollbacks()), static_cast<int>(session_.DeepestRollback()),
                  static_cast<long long>(session_.Waits()), static_cast<unsigned>(link->Counts().forged),
                  path == NetPath::Direct ? "  DIRECT" : (path == NetPath::Relayed ? "  RELAYED" : ""));
    // Under the line of the level's target and the scores, which stay
    // readable, as wide as its text.
    Font& font = *kit_.small;
    const int32_t top = kit_.medium->cellHeight + 4;
    FillRect(0, top, font.TextWidth(text) + 8, top + font.cellHeight + 4, backBuffer, 0);
    font.DrawText(backBuffer, 4, top + 2, text, TextExtent::Whole);
}

void OnlinePlay::ExchangePoints() {
    Match& match = match_;
    // The screen that closes last ends the phase in the same frame, and the
    // next level is loaded already: its points still go to the other side.
    if (!match.PointsPhase() && !match.pointsReady) return;
    const int32_t me = Local();
    const uint8_t level = static_cast<uint8_t>(match.PointsPhase() ? match.levelIndex + 1 : match.levelIndex);
    if (match.pointsReady && !pointsSent_) {
        const NetPoints p = PointsRecord(match.worms[me], level);
        if (!ownPointsTaped_) KeepPoints(me, p);
        ownPointsTaped_ = true;
        pointsSent_ = peer_.SendPoints(p);
    }
    if (!match.PointsPhase()) {
        match.pointsReady = 0;
        return;
    }
    NetPoints theirs;
    if (match.pointsDue[1 - me] && peer_.PeerPoints(level, &theirs)) {
        // The other game says what its player bought; this game knows what
        // play gave that player and what the ship allows.
        if (const char* fault = PointsFault(match, 1 - me, theirs)) {
            char why[160];
            std::snprintf(why, sizeof why, "%s (%s)", kCheatText, fault);
            std::snprintf(endLine_, sizeof endLine_, "%s", kCheatLine);
            peer_.RefusePeer(why);
            return;
        }
        KeepPoints(1 - me, theirs);
        ApplyPoints(match, 1 - me, theirs);
    }
}

// The link went, the other player left, or the games went out of step:
// this game ends where it stands, its results kept. Once the game is over
// (the table) the other player leaving it ends nothing.
void OnlinePlay::EndWhereItStands() {
    Match& match = match_;
    ended_ = true;
    exitBox_ = false;
    if (match.resultsSaved) return;
    lost_ = true;
    if (!replaying_) {
        char why[400];
        std::snprintf(why, sizeof why, "%s", peer_.Message()[0] != '\0' ? peer_.Message() : link->Failure());
        if (peer_.GetState() == NetPeer::State::OutOfStep) {
            const size_t used = std::strlen(why);
            WriteKeptStates(why + used, sizeof why - used);
        }
        TellEnd(why);
    }
    // The game ends on the pass both machines end on: the last one
    // both were known to hold (docs/net-protocol.md, "The last
    // pass"). The passes run on a guess are dropped, or those known
    // run; an end at a level's end is that level's end.
    const bool atPoints = match.PointsPhase();
    session_.EndAt(static_cast<int32_t>(Exchange().SurePasses() < 0x7FFF0000u ? Exchange().SurePasses() : 0x7FFF0000u),
                   Exchange().EndNamed());
    SeedRandom(session_.RandomStateRef());
    if (match.levelEnd == 1 && (levelEnd_.pass < 0 || levelEnd_.pass == session_.Pass()) && match.levelIndex >= 0 &&
        match.levelIndex < Match::kLevels) {
        levelEndHashes_[match.levelIndex] = MatchStateHash(match);
        if (levelEnd_.pass < 0) {
            levelEnd_.pass = session_.Pass();
            levelEnd_.level = static_cast<uint8_t>(match.levelIndex + 1);
            levelEnd_.hash = levelEndHashes_[match.levelIndex];
        }
    }
    TapePasses(true);  // up to the end
    if (tape_.Recording()) tape_.Lost();
    if (atPoints) hooks_.FadeOutSetup();
    match.EndOnline();
    if (atPoints) match.Enter();
}

bool OnlinePlay::AdvanceSession(uint8_t keys) {
    Match& match = match_;
    const RollbackSession::Step step = session_.Advance(keys);
    TapePasses();
    switch (step) {
    case RollbackSession::Step::Ran:
        waitingFrames_ = 0;
        return true;
    case RollbackSession::Step::LevelOver:
        // Every pass up to the level's end is sure: the game goes on
        // from there with its own frames (points screens, the table).
        if (match.levelIndex >= 0 && match.levelIndex < Match::kLevels) {
            levelEndHashes_[match.levelIndex] = MatchStateHash(match);
            const uint8_t level = static_cast<uint8_t>(match.levelIndex + 1);
            if (replaying_) {
                tape_.Checkpoint(OnlineTape::kLevelEnd, level, levelEndHashes_[match.levelIndex]);
            } else {
                // Taped once the passes up to it are (they lag the
                // confirmed ones while the other side may not know them).
                levelEnd_ = LevelEndRecord();
                levelEnd_.pass = session_.Pass();
                levelEnd_.level = level;
                levelEnd_.hash = levelEndHashes_[match.levelIndex];
            }
        }
        TapePasses();
        match.levelEnd = 2;
        waitingFrames_ = 0;
        return false;
    case RollbackSession::Step::Waiting:
    case RollbackSession::Step::Holding:
    case RollbackSession::Step::OutOfStep:
        ++waitingFrames_;
        return false;
    }
    return true;
}

bool OnlinePlay::OwnFrame() {
    Match& match = match_;
    // They draw from the session's generator, so that the next level's
    // food falls alike on both machines. The clock stands where the
    // session's last pass left it: the timer level's clock, run on under
    // the game-over cue and the table, reads the same on both machines (and
    // in a replay) however long each took to get there.
    SeedRandom(session_.RandomStateRef());
    SetPassTicks(session_.PassClock());
    const bool goesOn = match.Frame();
    SetPassTicks(nullptr);
    session_.RandomStateRef() = RandomState();
    if (replaying_)
        TakeTapedPoints(match);
    else if (!ended_)
        ExchangePoints();
    if (!goesOn) {
        Stop();
        match.Leave();
        return false;
    }
    if (!ended_ && match.InLevelPlay()) {
        // The next level's passes go on. The frame that loaded it read
        // this machine's own keys, which the other never sees: SPACE
        // must be let go in a pass before it starts the level, alike
        // on both machines (and in a replay).
        match.spaceLatch = 1;
        pointsSent_ = ownPointsTaped_ = false;
    }
    waitingFrames_ = 0;  // the points screens say themselves whom they wait for
    return true;
}

void OnlinePlay::DrawOverPlay(bool drawn) {
    // Nothing ran this pass: the picture on show stays.
    if (!drawn) HoldPictureOnShow();
    if (waitingFrames_ > kWaitShownAfter && !replaying_) DrawWaitingBand("");
    if (exitBox_) DrawExitBox(kit_);
    if (overlay_ && !ended_ && !match_.resultsSaved && !replaying_) DrawOverlay();
    if (ended_ && endLine_[0] != '\0' && !replaying_) {
        // Why the game ended, where the player looks, under the table.
        Font& font = *kit_.small;
        const int32_t top = kScreenHeight - font.cellHeight - 8;
        FillRect(0, top - 4, kScreenWidth, kScreenHeight, backBuffer, 0);
        font.DrawText(backBuffer, 320 - font.TextWidth(endLine_) / 2, top, endLine_, TextExtent::Whole);
    }
}

bool OnlinePlay::PlayFrame(bool escDown) {
    Match& match = match_;
    if (replaying_) {
        // Nothing of the viewer's reaches the game: its keys and points
        // come from the recording.
        std::memset(KeyState, 0, sizeof KeyState);
        escDown = false;
        LookForReplayEnd(match);
    } else {
        peer_.Update(NowMs());
        if (link->Path() != NetPath::None) path_ = link->Path();
        if (Feeding()) FeedPass();
    }
    const bool f3 = KeyState[DIK_F3] != 0;
    if (f3 && !f3Was_) overlay_ = !overlay_;
    f3Was_ = f3;
    if (!ended_ && !Exchange().InPlay()) EndWhereItStands();
    // Esc asks whether to leave; play goes on meanwhile (the other player's
    // game does not stop), this side's worm without keys. Once the game
    // has ended (the other left, the link went) its table asks the same.
    if (escDown) exitBox_ = true;
    if (exitBox_ && KeyState[DIK_N]) exitBox_ = false;
    if (exitBox_ && KeyState[DIK_Y]) {
        exitBox_ = false;
        Stop();
        match.Leave();
        return false;
    }
    bool drawn = true;
    uint8_t keys = 0;
    // A level end held (levelEnd 1) is the session's until it is sure.
    if (!ended_ && (match.InLevelPlay() || match.levelEnd == 1) && LocalKeys(&keys)) {
        drawn = AdvanceSession(keys);
    } else if (!ended_ && (match.InLevelPlay() || match.levelEnd == 1)) {
        drawn = false;  // a replay at its end
    } else if (!OwnFrame()) {
        // The game's own frames: between levels, the table, or after the
        // link went.
        return false;
    }
    DrawOverPlay(drawn);
    return true;
}

// ---- replays -----------------------------------------------------------------

void OnlinePlay::BeginReplay(const ReplayHeader& header, const uint8_t* body) {
    players_ = PlayerSetup();
    CopyName(players_.name1, sizeof players_.name1, header.names[0]);
    CopyName(players_.name2, sizeof players_.name2, header.names[1]);
    players_.ship1 = header.ships[0] == 1 ? 1 : 0;
    players_.ship2 = header.ships[1] == 1 ? 1 : 0;
    replaying_ = true;
    replayLocal_ = header.onlinePlayer == 2 ? 1 : 0;
    active_ = true;
    ended_ = lost_ = pointsSent_ = exitBox_ = overlay_ = false;
    endLine_[0] = '\0';
    std::memset(levelEndHashes_, 0, sizeof levelEndHashes_);
    waitingFrames_ = 0;
    tape_.Play(body, header.tapeBytes);
    tapeExchange_.Begin(&tape_, &match_);
    // Every pass's keys are known: nothing is held back or guessed.
    BeginSession(header.difficulty, header.randomState, 0, &tapeExchange_);
}

void OnlinePlay::EndReplay() {
    tape_.Stop();
    if (replaying_) active_ = false;
    replaying_ = false;
}

bool OnlinePlay::LocalKeys(uint8_t* keys) {
    const Match& match = match_;
    if (replaying_) {
        if (replayEndsHere_ || !tapeExchange_.InPlay()) return false;
        if (match.levelEnd != 0) return true;  // a held level end runs no pass
        if (tapeExchange_.NextPass(Local(), keys)) return true;
        tape_.Fail(static_cast<uint8_t>(match.levelIndex + 1));  // the recording holds something else here
        return false;
    }
    // This player steers with either player's keys as they chose them.
    *keys = 0;
    if (exitBox_) return true;
    Host* host = GetHost();
    const PlayKeys& own = host != nullptr ? host->CurrentSettings().keys : kDefaultPlayKeys;
    *keys = static_cast<uint8_t>(PassKeysOf(KeyState, own, 0) | PassKeysOf(KeyState, own, 1));
    return true;
}

void OnlinePlay::KeepPoints(int32_t player, const NetPoints& points) {
    if (replaying_ || player < 0 || player > 1) return;
    levelEnd_.points[player] = points;
    levelEnd_.have[player] = true;
}

void OnlinePlay::TapePasses(bool all) {
    if (!tape_.Recording()) return;
    // The passes both sides are known to hold: the game can end no sooner.
    // Once the game is over (the table), every confirmed pass.
    const int32_t limit = all ? session_.Confirmed() : session_.TapeLimit(Exchange().SurePasses());
    while (tape_.Recording()) {
        if (levelEnd_.pass >= 0 && tapedPasses_ == levelEnd_.pass) {
            if (!levelEnd_.taped) tape_.Checkpoint(OnlineTape::kLevelEnd, levelEnd_.level, levelEnd_.hash);
            levelEnd_.taped = true;
            if (tapedPasses_ >= limit) break;
            // The next level's first pass: both players' points records
            // before it, in the players' order, alike on both machines.
            for (int32_t player = 0; player < 2; ++player)
                if (levelEnd_.have[player]) tape_.Points(player, levelEnd_.points[player]);
            levelEnd_ = LevelEndRecord();
        }
        if (tapedPasses_ >= limit) break;
        TapeConfirmedPasses(session_, tapedPasses_ + 1, &tape_, &tapedPasses_);
    }
}

void OnlinePlay::TakeTapedPoints(Match& match) {
    int32_t player = 0;
    NetPoints points;
    while (match.PointsPhase() && tape_.Peek() == OnlineTape::Next::Points && tape_.TakePoints(&player, &points)) {
        // A record the live game would have refused: the replay was altered.
        if (PointsFault(match, player, points) != nullptr) {
            tape_.Fail(static_cast<uint8_t>(match.levelIndex + 1));
            return;
        }
        ApplyPoints(match, player, points);
    }
}

void OnlinePlay::LookForReplayEnd(const Match& match) {
    // A level's end let go (levelEnd 2) has not run its frame yet: the live
    // game looked for the link's end there too.
    const bool needsPass = !ended_ && (match.InLevelPlay() || match.levelEnd != 0);
    const bool waitsForPoints = match.PointsPhase() && ((match.pointsDue[0] && !match.playerOut[0]) ||
                                                        (match.pointsDue[1] && !match.playerOut[1]));
    const bool over = match.resultsSaved || ended_;
    if (replayEndsHere_ || (!needsPass && !waitsForPoints && !over)) return;
    switch (tape_.Peek()) {
    case OnlineTape::Next::Lost:
        if (!ended_ && tape_.TakeLost()) tapeExchange_.SetLost();
        break;
    case OnlineTape::Next::End:
        replayEndsHere_ = true;
        break;
    case OnlineTape::Next::Checkpoint:
        replayEndsHere_ = tape_.PeekCheckpointKind() == OnlineTape::kStop;
        break;
    default:
        break;
    }
}

void OnlinePlay::ResumeGenerator() { SeedRandom(session_.RandomStateRef()); }

void OnlinePlay::TapeAllPasses() { TapePasses(true); }

bool OnlinePlay::TapeHoldsALevelsEndLast(uint8_t* level) const {
    if (!tape_.Recording() || ended_ || levelEnd_.pass < 0 || !levelEnd_.taped) return false;
    *level = levelEnd_.level;
    return true;
}

void OnlinePlay::SettleForStop() {
    // Where the goodbye (or the link's end) says both games end. Once the
    // game is over (its results in the table) the other player leaving it
    // ends nothing: the state stays the table's, as a replay reaches it.
    if (!ended_ && !match_.resultsSaved && peer_.GetState() != NetPeer::State::Playing)
        session_.EndAt(static_cast<int32_t>(peer_.SurePasses() < 0x7FFF0000u ? peer_.SurePasses() : 0x7FFF0000u),
                       peer_.EndNamed());
    else
        session_.DropPredictions();
    SeedRandom(session_.RandomStateRef());
    TapePasses(true);
}
