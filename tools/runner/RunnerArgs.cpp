#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "Runner.h"
#include "net/NetLink.h"
#include "net/RoomProtocol.h"
#include "platform/WorldLink.h"

namespace {

// --link-timeout's bounds: long enough for a handshake, short of forever.
constexpr unsigned long long kMinLinkTimeoutMs = 200;
constexpr unsigned long long kMaxLinkTimeoutMs = 60000;

bool ParseNumber(const std::string& text, unsigned long long max, unsigned long long* out) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v > max) return false;
    *out = v;
    return true;
}

enum Option {
    kData,
    kUserDir,
    kSeed,
    kFrames,
    kScript,
    kAutopilot,
    kSteer,
    kDifficulty,
    kUntilLevel,
    kFinalState,
    kRandomInput,
    kPads,
    kHashFrames,
    kSettings,
    kHelp,
    kReplay,
    kVerify,
    kSyncTest,
    kHost,
    kJoin,
    kDelay,
    kRealTime,
    kOnlineMenu,
    kLinkTimeout,
    kWorldServer,
    kRoom,
    kQuickMatch,
    kRoomRelay,
    kWatch,
    kOptionCount
};

struct OptionInfo {
    const char* name;
    bool takesValue;
};

const OptionInfo kOptions[kOptionCount] = {
    {"--data", true},
    {"--user-dir", true},
    {"--seed", true},
    {"--frames", true},
    {"--script", true},
    {"--autopilot", false},
    {"--autopilot-steer", true},
    {"--autopilot-difficulty", true},
    {"--until-level", true},
    {"--final-state", true},
    {"--random-input", false},
    {"--autopilot-pads", false},
    {"--hash-frames", false},
    {"--settings", true},
    {"--help", false},
    {"--replay", true},
    {"--verify", false},
    {"--sync-test", false},
    {"--host", false},  // its port is optional: read below
    {"--join", true},
    {"--delay", true},
    {"--real-time", false},
    {"--online-menu", false},
    {"--link-timeout", true},
    {"--world-server", true},
    {"--room", true},
    {"--quick-match", false},
    {"--room-relay", false},
    {"--watch", true},
};

}  // namespace

std::string RunnerUsage() {
    return "usage: voidcrawl-headless [--data DIR] [--user-dir DIR] [--seed N] [--frames N]\n"
           "                          [--script FILE]\n"
           "                          [--autopilot] [--autopilot-steer all|none|1|2]\n"
           "                          [--autopilot-difficulty 0|1|2] [--autopilot-pads]\n"
           "                          [--until-level N] [--final-state FILE]\n"
           "                          [--random-input] [--hash-frames] [--settings FILE]\n"
           "                          [--replay FILE [--verify]] [--sync-test]\n"
           "                          [--host [PORT] | --join HOST[:PORT]] [--delay N]\n"
           "                          [--real-time] [--link-timeout MS] [--online-menu]\n"
           "                          [--world-server URL]\n"
           "                          [--room new|CODE | --quick-match] [--room-relay]\n"
           "                          [--watch CODE] [--help]\n"
           "\n"
           "  --user-dir DIR      the folder the game writes high-score tables and screen\n"
           "                      dumps to (created when first written), reading tables\n"
           "                      it lacks from the data directory; default: the data\n"
           "                      directory itself\n"
           "  --autopilot         play the game: steer the worms toward food and out of\n"
           "                      each level, press SPACE when a worm waits, click OK on\n"
           "                      the points screens (buying upgrades first). Without a\n"
           "                      script it first starts a one-player game from the menu\n"
           "                      (click the difficulty, ONE PLAYER, type AUTOPILOT,\n"
           "                      Enter); with a script the script does that.\n"
           "                      The run ends after the pass that shows the game-over\n"
           "                      table, or when the game is back at the menu; the\n"
           "                      frame limit is 3000000. Match events go to stdout:\n"
           "                        frame F: level N intro (target T, food C, targetFactor X, extraFood E)\n"
           "                        frame F: player P lost a life (lives left L, length N)\n"
           "                        frame F: player P left level N (score S, points Q, length N)\n"
           "                        frame F: player P out (targetFactor X, extraFood E)\n"
           "                        frame F: game over at level N[, all levels done] (score S[, S2])\n"
           "                        frame F: back at the menu\n"
           "  --autopilot-steer   whose worms the autopilot steers (default all); the\n"
           "                      others get no keys and fly into whatever is ahead\n"
           "  --autopilot-difficulty  0 easy (default), 1 medium, 2 hard: the game the\n"
           "                      autopilot starts from the menu without a script\n"
           "  --autopilot-pads    the autopilot starts a two-player game from the menu\n"
           "                      and plays it with two gamepads only: the sticks move\n"
           "                      the pointer, A clicks, the D-pad spells the names\n"
           "                      (ADA, BO), the pads steer the worms\n"
           "  --until-level N     end the run after the pass that shows level N's intro\n"
           "  --final-state FILE  write the state JSON after the last pass that the\n"
           "                      runner ends (not when the game itself quits)\n"
           "  --hash-frames       print at the end a hash of every picture presented\n"
           "                      (palette and pixels, in order):\n"
           "                        frames: presents=N hash=H\n"
           "                      two builds that play alike print the same line\n"
           "  --settings FILE     the settings file, read at the start as the game reads\n"
           "                      its own (problems go to stderr); what the options\n"
           "                      screen changes is saved there line by line. Without\n"
           "                      it the settings are the defaults and nothing is saved.\n"
           "                      The script command \"F settings COPY\" saves a copy of\n"
           "                      the file as it is after pass F\n"
           "  --random-input      the soak: random keys, typing, mouse moves and clicks\n"
           "                      on every screen, seeded by --seed, never ending the\n"
           "                      program (no Esc and no Quit on the menu); with\n"
           "                      --autopilot the autopilot plays part of each game.\n"
           "                      The frame limit is 100000. At the end it prints\n"
           "                        soak: menu=N info=N highscores=N setup=N play=N points=N gameover=N\n"
           "                              options=N twoplayers=N (--online-menu)\n"
           "                        soak-memory: frame F VmRSS=K kB VmHWM=K kB, end VmRSS=K kB VmHWM=K kB\n"
           "                      (frames spent on each screen; resident memory after\n"
           "                      frame 1000, or the first frame of a shorter run, and at the end)\n"
           "  --replay FILE       play a replay the game recorded (the game keeps them in\n"
           "                      replays/ of the user folder) as fast as it goes,\n"
           "                      checking its state hash at the end of every level and\n"
           "                      of the game (an online game's also every 100 passes),\n"
           "                      and print, when it plays to its recorded end and\n"
           "                      reaches exactly the results it claims,\n"
           "                        replay: verified N state hashes, P passes in S s\n"
           "                        result: player 1 \"NAME\" score S length L level N difficulty D\n"
           "                      (a result line for each player), else \"replay: out of\n"
           "                      step at level N\" or \"replay: not verified: WHY\" (an\n"
           "                      online game's then each level's end hash, as --host\n"
           "                      prints it); a file that breaks the format or claims more\n"
           "                      than its passes reach, or of another version or data set,\n"
           "                      is refused (status 2)\n"
           "  --verify            with --replay: a replay that is not verified ends with status 4\n"
           "  --sync-test         run every pass of play twice: save the play state, run\n"
           "                      the pass, put the state back and run it again without\n"
           "                      drawing or sound; the two outcomes must be the same.\n"
           "                      Every 20 passes it also rolls back 1 to 20 passes (each\n"
           "                      depth in turn) and runs them again, as online play does.\n"
           "                      A difference stops the run with status 5 and\n"
           "                        sync test: out of step at pass F, level N: WHAT\n"
           "                      At the end it prints\n"
           "                        sync-test: checked N passes, M run once, K rollbacks of\n"
           "                                   1 to D passes; snapshot up to B bytes, save\n"
           "                                   S ns, restore R ns\n"
           "  --host [PORT]       TWO PLAYERS online, as the game's --host: this run hosts\n"
           "                      on PORT (UDP, default 7311) and plays player 1\n"
           "  --join HOST[:PORT]  ... or joins the game hosting there and plays player 2.\n"
           "                      With --autopilot it chooses TWO PLAYERS, types HOST\n"
           "                      or GUEST, waits for the other game and steers only its\n"
           "                      own worm and points screens. Passes run as fast as\n"
           "                      the other game lets them (a pass that runs nothing\n"
           "                      sleeps 1 ms). At the end it prints each level's end\n"
           "                      state hash (alike on both sides while in step) and\n"
           "                        level N hash H\n"
           "                        online: passes P, rollbacks R (depth median M, p99 Q,\n"
           "                                deepest D, D-deep mean U us), waits W, round trip T ms\n"
           "                        link: sent S, received R, dropped D, forged F, strangers X,\n"
           "                              server Y (from the room server: no room message)\n"
           "  --delay N           online: each side's keys act N passes on (0 to 4, default 2)\n"
           "  --real-time         online (or with --online-menu or --watch): one pass\n"
           "                      every 10 ms of real time, as the game plays (for measures)\n"
           "  --link-timeout MS   online: the silence after which the link counts the\n"
           "                      other game as lost (200 to 60000, default 5000)\n"
           "  --world-server URL  the world table's server for this run, as the game's\n"
           "                      --world-server (games are sent only when the settings'\n"
           "                      [world] send is yes: give --settings)\n"
           "  --room new|CODE     TWO PLAYERS online through a room of the --world-server's\n"
           "                      (UDP on its HTTP port): new opens one and plays player\n"
           "                      1, printing its code as soon as the server names it,\n"
           "                        room: CODE\n"
           "                      CODE (five letters) joins that room's game as player 2\n"
           "  --quick-match       ... or plays whoever waits for a quick match at the same\n"
           "                      difficulty (the server says who is player 1). At the end\n"
           "                      it prints which way the datagrams went, besides the above:\n"
           "                        path: DIRECT|RELAYED\n"
           "  --room-relay        (tests) a room's joiner sends through the server's relay\n"
           "                      from the start\n"
           "  --watch CODE        watch the game of the room CODE as it is played, through\n"
           "                      the --world-server's live feed, as the game's --watch\n"
           "                      (a few seconds behind; 2x when further behind), to its\n"
           "                      end; then it prints each level's end hash, as the\n"
           "                      players print it, and\n"
           "                        watch: WORDS (the replay's verdict: verified ...)\n"
           "                        watch: N passes, A answers, W frames waiting, F frames at 2x\n"
           "                        watch: behind the newest pass held by M passes on the mean, X at most\n"
           "                      A feed that cannot be watched ends the run with status 6 and\n"
           "                        watch: cannot watch CODE: WHY\n"
           "  --online-menu       the game has a link for online play but no --host or\n"
           "                      --join: TWO PLAYERS shows the two-players screen (this\n"
           "                      keyboard, host or join), as the desktop game does\n"
           "Every game the runner plays is recorded; at the end it prints\n"
           "  replay: saved PATH (B bytes, P passes)\n"
           "\n"
           "Every run is watched for play that stops making progress: a hyperspace jump\n"
           "that goes on for more steps than the worm's length, pending growth and open\n"
           "gates allow, or a level that runs on after every player is done with it; with\n"
           "--autopilot or --random-input also a screen that stays up for 60000 frames or\n"
           "a level played for 60000. The run then stops with a line on stderr and exit\n"
           "status 3. With --autopilot or --random-input it prints at the end\n"
           "  liveness: jumps=N longest-jump=S/A steps level-ends=N longest-wait-after-done=F\n"
           "            [longest-level=F longest-screen=F(NAME)] ok|FAILED\n"
           "\n"
           "Exit status: 0 done, 1 start-up failed, 2 bad argument, script line or replay,\n"
           "3 play stalled, 4 a replay not verified (--verify), 5 a pass out of step\n"
           "(--sync-test), 6 the online game could not start, or the connection was lost\n"
           "or the games went out of step before the game ended.";
}

bool ParseRunnerArguments(int argc, const char* const* argv, RunnerOptions* options, std::string* error) {
    *options = RunnerOptions{};
    bool seen[kOptionCount] = {};
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        // Both "--opt VALUE" and "--opt=VALUE".
        size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            hasValue = true;
        }
        unsigned long long number = 0;
        int which = -1;
        for (int k = 0; k < kOptionCount; ++k)
            if (arg == kOptions[k].name) which = k;
        if (which < 0) {
            *error = "unknown argument '" + std::string(argv[i]) + "'";
            return false;
        }
        if (seen[which]) {
            *error = arg + " given twice";
            return false;
        }
        seen[which] = true;
        if (which == kHost && !hasValue && i + 1 < argc && argv[i + 1][0] != '-') {
            value = argv[++i];
            hasValue = true;
        }
        if (which == kHost) {
            if (hasValue && (!ParseNumber(value, 65535, &number) || number == 0)) {
                *error = "bad --host port '" + value + "' (1 to 65535)";
                return false;
            }
            options->online = RunnerOptions::Online::Host;
            if (hasValue) options->port = static_cast<uint16_t>(number);
            continue;
        }
        if (!kOptions[which].takesValue) {
            if (hasValue) {
                *error = arg + " takes no value";
                return false;
            }
        } else if (!hasValue) {
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        switch (which) {
        case kData:
            if (value.empty()) {
                *error = "--data needs a directory";
                return false;
            }
            options->dataDir = value;
            break;
        case kUserDir:
            if (value.empty()) {
                *error = "--user-dir needs a directory";
                return false;
            }
            options->userDir = value;
            break;
        case kSeed:
            if (!ParseNumber(value, 0xFFFFFFFFull, &number)) {
                *error = "bad seed '" + value + "' (0 to 4294967295)";
                return false;
            }
            options->seed = static_cast<uint32_t>(number);
            break;
        case kFrames:
            if (!ParseNumber(value, 1000000000000ull, &number) || number == 0) {
                *error = "bad frame count '" + value + "' (a positive number)";
                return false;
            }
            options->frames = static_cast<int64_t>(number);
            break;
        case kScript:
            if (value.empty()) {
                *error = "--script needs a file name";
                return false;
            }
            options->scriptPath = value;
            break;
        case kAutopilot:
            options->autopilot = true;
            break;
        case kSteer:
            if (value == "all")
                options->steer = kSteerPlayer1 | kSteerPlayer2;
            else if (value == "none")
                options->steer = 0;
            else if (value == "1")
                options->steer = kSteerPlayer1;
            else if (value == "2")
                options->steer = kSteerPlayer2;
            else {
                *error = "bad --autopilot-steer '" + value + "' (all, none, 1 or 2)";
                return false;
            }
            break;
        case kDifficulty:
            if (!ParseNumber(value, 2, &number)) {
                *error = "bad --autopilot-difficulty '" + value + "' (0, 1 or 2)";
                return false;
            }
            options->difficulty = static_cast<int32_t>(number);
            break;
        case kUntilLevel:
            if (!ParseNumber(value, 20, &number) || number == 0) {
                *error = "bad level number '" + value + "' (1 to 20)";
                return false;
            }
            options->untilLevel = static_cast<int32_t>(number);
            break;
        case kHashFrames:
            options->hashFrames = true;
            break;
        case kRandomInput:
            options->randomInput = true;
            break;
        case kPads:
            options->autopilotPads = true;
            break;
        case kHelp:
            options->help = true;  // the rest of the line is not read
            return true;
        case kSettings:
            if (value.empty()) {
                *error = "--settings needs a file name";
                return false;
            }
            options->settingsPath = value;
            break;
        case kReplay:
            if (value.empty()) {
                *error = "--replay needs a file name";
                return false;
            }
            options->replayPath = value;
            break;
        case kVerify:
            options->verify = true;
            break;
        case kSyncTest:
            options->syncTest = true;
            break;
        case kJoin: {
            char host[kNetHostNameBytes];
            uint16_t port = 0;
            const char* why = "";
            if (!ParseNetAddress(value.c_str(), host, sizeof host, &port, &why)) {
                *error = "bad --join address '" + value + "': " + why;
                return false;
            }
            options->online = RunnerOptions::Online::Join;
            options->joinAddress = value;
            break;
        }
        case kDelay:
            if (!ParseNumber(value, 4, &number)) {
                *error = "bad --delay '" + value + "' (0 to 4 passes)";
                return false;
            }
            options->inputDelay = static_cast<int32_t>(number);
            break;
        case kRealTime:
            options->realTime = true;
            break;
        case kLinkTimeout:
            if (!ParseNumber(value, kMaxLinkTimeoutMs, &number) || number < kMinLinkTimeoutMs) {
                *error = "bad --link-timeout '" + value + "' (" + std::to_string(kMinLinkTimeoutMs) + " to " +
                         std::to_string(kMaxLinkTimeoutMs) + " ms)";
                return false;
            }
            options->linkTimeoutMs = static_cast<uint32_t>(number);
            break;
        case kOnlineMenu:
            options->onlineMenu = true;
            break;
        case kWorldServer: {
            const char* why = "";
            if (!IsWorldAddress(value.c_str(), &why)) {
                *error = "bad --world-server '" + value + "': " + why;
                return false;
            }
            options->worldServer = value;
            break;
        }
        case kRoom: {
            options->online = RunnerOptions::Online::Room;
            if (value == "new") {
                options->roomMode = NetRoomMode::Create;
                break;
            }
            char code[kRoomCodeBytes];
            if (!FoldRoomCode(value.c_str(), code)) {
                *error = "bad --room '" + value + "' (new, or a room's code: five letters)";
                return false;
            }
            options->roomMode = NetRoomMode::Join;
            options->roomCode = code;
            break;
        }
        case kQuickMatch:
            options->online = RunnerOptions::Online::Room;
            options->roomMode = NetRoomMode::Quick;
            break;
        case kRoomRelay:
            options->roomRelay = true;
            break;
        case kWatch: {
            char code[kRoomCodeBytes];
            if (!FoldRoomCode(value.c_str(), code)) {
                *error = "bad --watch '" + value + "' (a room's code: five letters)";
                return false;
            }
            options->watchCode = code;
            break;
        }
        case kHost:
            break;
        case kFinalState:
            if (value.empty()) {
                *error = "--final-state needs a file name";
                return false;
            }
            options->finalStatePath = value;
            break;
        }
    }
    for (int k : {kSteer, kDifficulty, kPads}) {
        if (seen[k] && !options->autopilot) {
            *error = std::string(kOptions[k].name) + " needs --autopilot";
            return false;
        }
    }
    // (The autopilot's two-player game from the menu knows nothing of the
    // two-players screen.)
    if (options->onlineMenu && (options->online != RunnerOptions::Online::None || options->autopilotPads)) {
        *error = "--online-menu goes without --host, --join and --autopilot-pads";
        return false;
    }
    if (seen[kHost] + seen[kJoin] + seen[kRoom] + seen[kQuickMatch] > 1) {
        *error = "--host, --join, --room and --quick-match exclude each other";
        return false;
    }
    if ((seen[kRoom] || seen[kQuickMatch]) && options->worldServer.empty()) {
        *error = std::string(seen[kRoom] ? "--room" : "--quick-match") + " needs --world-server";
        return false;
    }
    if (seen[kRoomRelay] && options->online != RunnerOptions::Online::Room) {
        *error = "--room-relay needs --room or --quick-match";
        return false;
    }
    for (int k : {kDelay, kRealTime, kLinkTimeout}) {
        if (seen[k] && options->online == RunnerOptions::Online::None &&
            !(k == kRealTime && (options->onlineMenu || !options->watchCode.empty()))) {
            *error = std::string(kOptions[k].name) + " needs --host, --join, --room or --quick-match";
            return false;
        }
    }
    if (options->online != RunnerOptions::Online::None &&
        (!options->replayPath.empty() || options->randomInput || options->syncTest || options->autopilotPads)) {
        *error = "online play goes without --replay, --random-input, --sync-test and --autopilot-pads";
        return false;
    }
    if (seen[kWatch] &&
        (options->worldServer.empty() || options->online != RunnerOptions::Online::None ||
         !options->replayPath.empty() || options->autopilot || options->randomInput || options->onlineMenu)) {
        *error =
            "--watch needs --world-server and plays alone: no online play, --replay, --autopilot or "
            "--random-input";
        return false;
    }
    if (options->verify && options->replayPath.empty()) {
        *error = "--verify needs --replay";
        return false;
    }
    if (!options->replayPath.empty() && (options->autopilot || options->randomInput || !options->scriptPath.empty())) {
        *error = "--replay plays alone: no --autopilot, --random-input or --script";
        return false;
    }
    return true;
}

std::string DefaultDataDir() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "data";
    return (exe.parent_path() / "data").string();
}
