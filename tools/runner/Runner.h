#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "net/NetLink.h"

// The headless scripted runner: the game on the headless host, driven by a
// script of key presses, mouse moves, screenshots and state dumps.
//
//   voidcrawl-headless [--data DIR] [--user-dir DIR] [--seed N] [--frames N] [--script FILE]
//                      [--autopilot] [--autopilot-steer all|none|1|2]
//                      [--autopilot-difficulty 0|1|2] [--autopilot-pads]
//                      [--until-level N] [--final-state FILE] [--random-input]
//                      [--settings FILE] [--replay FILE [--verify]] [--sync-test]
//                      [--host [PORT] | --join HOST[:PORT]] [--delay N] [--real-time]
//                      [--world-server URL] [--room new|CODE | --quick-match] [--room-relay]
//                      [--watch CODE]
//
// RunnerUsage() explains the options.

constexpr int kExitOk = 0;  // the script ended or the game asked to end
constexpr int kExitStartupFailed = 1;
constexpr int kExitBadInput = 2;   // bad argument or script line
constexpr int kExitStalled = 3;    // play stopped making progress (a jump, a level or a screen without end)
constexpr int kExitOutOfStep = 4;  // --replay --verify: a state hash differs
constexpr int kExitSyncTest = 5;   // --sync-test: a pass run again came out otherwise
// --host/--join: the online game could not start, or it ended by a lost
// connection or out of step before the game was over.
constexpr int kExitOnlineFailed = 6;

constexpr int64_t kDefaultFrames = 1000;       // without a script
constexpr int64_t kAutopilotFrames = 3000000;  // with --autopilot
constexpr int64_t kSoakFrames = 100000;        // with --random-input

// Whose worms the autopilot steers.
constexpr uint8_t kSteerPlayer1 = 1;
constexpr uint8_t kSteerPlayer2 = 2;

struct RunnerOptions {
    std::string dataDir;  // empty: "data" beside the runner binary
    std::string userDir;  // where high scores and dumps go; empty: the data directory
    uint32_t seed = 1;
    int64_t frames = -1;     // -1: end of script, or kDefaultFrames
    std::string scriptPath;  // empty: no script
    bool autopilot = false;
    bool autopilotPads = false;  // a two-player game from the menu, played on two gamepads only
    uint8_t steer = kSteerPlayer1 | kSteerPlayer2;
    int32_t difficulty = 0;      // the game the autopilot starts from the menu
    int32_t untilLevel = 0;      // 1..20: end once that level's intro shows; 0: never
    std::string finalStatePath;  // empty: none
    bool randomInput = false;    // the soak: seeded random input on every screen
    bool hashFrames = false;     // print a hash of every picture presented, at the end
    std::string settingsPath;    // the settings file read at the start and kept up to date; empty: none
    std::string replayPath;      // a replay to play instead of input; empty: none
    bool verify = false;         // a replay out of step fails the run
    bool syncTest = false;       // every pass of play run twice and compared
    bool help = false;           // --help: print RunnerUsage() and end
    // Online play, as the game's --host/--join/--delay.
    enum class Online : uint8_t { None, Host, Join, Room };
    Online online = Online::None;
    uint16_t port = kNetDefaultPort;             // --host's port
    std::string joinAddress;                     // --join's HOST[:PORT]
    NetRoomMode roomMode = NetRoomMode::Create;  // --room new, --room CODE, --quick-match
    std::string roomCode;                        // --room CODE's, upper case
    bool roomRelay = false;                      // --room-relay: a room's joiner relays from the start
    int32_t inputDelay = 2;
    bool realTime = false;                   // a pass every 10 ms of real time
    bool onlineMenu = false;                 // a link without a role: TWO PLAYERS shows the two-players screen
    uint32_t linkTimeoutMs = kNetTimeoutMs;  // the silence after which the peer counts as lost
    std::string worldServer;                 // --world-server: over the settings' [world] server; empty: none
    std::string watchCode;                   // --watch: the room whose game is watched (upper case); empty: none
};

// Parses the command line (argv[0] is the program). On failure returns false
// with a message in `error`.
bool ParseRunnerArguments(int argc, const char* const* argv, RunnerOptions* options, std::string* error);

std::string RunnerUsage();

// The data directory used when none is given: "data" beside the running
// binary.
std::string DefaultDataDir();

// Runs the game as the options say and returns the exit status. Messages go
// to `out` (the quit line) and `err` (reasons for failure).
int RunRunner(const RunnerOptions& options, FILE* out, FILE* err);
