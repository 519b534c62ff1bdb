#include "app/CommandLine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Manual.h"
#include "net/RoomProtocol.h"
#include "platform/PrintableText.h"
#include "platform/Settings.h"

const OptionInfo kOptionTable[] = {
    {"--help", "", "print this help and the controls, then end"},
    {"--version", "", "print the version, then end"},
    {"--windowed", "", "play in a window"},
    {"--fullscreen", "", "play full screen (the default)"},
    {"--scale", "integer", "enlarge the 640x480 picture by whole factors only"},
    {"--scale", "fit",
     "the largest size that fits the screen, proportions kept\n"
     "(default: integer when that gives 2x or more, otherwise fit)"},
    {"--data", "DIR", "the folder that holds the game data (grafik/, sound/, ...)"},
    {"--mute", "", "no sound: the sound device is never opened"},
    {"--replay", "FILE",
     "watch a replay (the game keeps every game's in replays/ of\n"
     "its folder): P or SPACE pauses, 1, 2, 4 and 8 set the\n"
     "speed, N skips to the next level, Esc leaves; on the menu's\n"
     "high-score table a click on a row, or Enter on the row the\n"
     "arrow keys pick, watches that entry's game"},
    {"--host", "[PORT]",
     "TWO PLAYERS plays online: this game hosts, on PORT\n"
     "(UDP, default 7311); the host chooses the difficulty.\n"
     "Without --host or --join, TWO PLAYERS asks: this\n"
     "keyboard, host or join"},
    {"--join", "HOST[:PORT]",
     "TWO PLAYERS plays online: this game joins the one\n"
     "hosting at HOST (a name, an IPv4 address, or an IPv6\n"
     "address: [IPV6]:PORT with a port), looked up at start-up"},
    {"--room", "new",
     "TWO PLAYERS plays online through a room of the world\n"
     "table's server (--world-server, or the settings' [world]\n"
     "server): this game opens one, hosts it and shows its code"},
    {"--room", "CODE",
     "... or joins the game waiting in the room of CODE (five\n"
     "letters); the server opens the way between the two games\n"
     "through their routers, or relays them"},
    {"--quick-match", "",
     "TWO PLAYERS plays online with whoever waits on the world\n"
     "table's server for a game at the same difficulty"},
    {"--watch", "CODE",
     "watch the game of the room CODE as it is played, a few\n"
     "seconds behind, through the world table's server (it plays\n"
     "2x while far behind); P or SPACE pauses, Esc leaves. The\n"
     "WATCH A GAME row of TWO PLAYERS does the same"},
    {"--delay", "PASSES",
     "online: each side's keys act this many passes (0 to 4,\n"
     "default: the settings' delay, 2) after they are pressed;\n"
     "the larger of the two players' wishes holds"},
    {"--world-server", "URL",
     "the world table's server for this run (http:// or\n"
     "https://), over the settings' [world] server; games are\n"
     "sent only when [world] send is yes"},
};
const int kOptionCount = static_cast<int>(sizeof kOptionTable / sizeof kOptionTable[0]);

namespace {

const OptionInfo* FindOption(const std::string& name) {
    for (const OptionInfo& option : kOptionTable)
        if (name == option.name) return &option;
    return nullptr;
}

bool TakesValue(const std::string& name) {
    const OptionInfo* option = FindOption(name);
    return option != nullptr && option->value[0] != '\0';
}

// A value in brackets may be left out.
bool ValueOptional(const std::string& name) {
    const OptionInfo* option = FindOption(name);
    return option != nullptr && option->value[0] == '[';
}

bool AllDigits(const std::string& text) {
    if (text.empty() || text.size() > 6) return false;
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

bool IsKnown(const std::string& name) { return FindOption(name) != nullptr; }

bool Fail(CommandLine* line, const std::string& reason) {
    line->action = CommandAction::Error;
    line->error = reason;
    return false;
}

// Applies one option; false on a mistake (already recorded in `line`).
bool Apply(const std::string& name, bool hasValue, const std::string& value, bool* windowedSeen, bool* fullscreenSeen,
           CommandLine* line) {
    if (!IsKnown(name)) return Fail(line, "unknown option '" + Printable(name) + "'");
    if (!TakesValue(name) && hasValue) return Fail(line, name + " takes no value");
    if (name == "--help") {
        line->action = CommandAction::Help;
    } else if (name == "--version") {
        line->action = CommandAction::Version;
    } else if (name == "--windowed" || name == "--fullscreen") {
        const bool windowed = name == "--windowed";
        (windowed ? *windowedSeen : *fullscreenSeen) = true;
        if (*windowedSeen && *fullscreenSeen) return Fail(line, "--windowed and --fullscreen exclude each other");
        line->run.fullscreen = windowed ? 0 : 1;
    } else if (name == "--mute") {
        line->run.mute = true;
    } else if (name == "--scale") {
        if (value == "integer")
            line->run.scale = ScaleMode::Integer;
        else if (value == "fit")
            line->run.scale = ScaleMode::Fit;
        else
            return Fail(line, "bad --scale '" + Printable(value) + "' (integer or fit)");
    } else if (name == "--data") {
        if (value.empty()) return Fail(line, "--data needs a folder");
        line->dataDir = value;
    } else if (name == "--replay") {
        if (value.empty()) return Fail(line, "--replay needs a file");
        line->replayPath = value;
    } else if (name == "--room" || name == "--quick-match") {
        if (line->hostGame || !line->joinAddress.empty() || line->room)
            return Fail(line, "--host, --join, --room and --quick-match exclude each other");
        line->room = true;
        line->roomMode = name == "--quick-match" ? NetRoomMode::Quick : NetRoomMode::Create;
        if (name == "--room" && value != "new") {
            char code[kRoomCodeBytes];
            if (!FoldRoomCode(value.c_str(), code))
                return Fail(line, "bad --room '" + Printable(value) + "' (new, or a room's code: five letters)");
            line->roomMode = NetRoomMode::Join;
            line->roomCode = code;
        }
    } else if (name == "--watch") {
        char code[kRoomCodeBytes];
        if (!FoldRoomCode(value.c_str(), code))
            return Fail(line, "bad --watch '" + Printable(value) + "' (a room's code: five letters)");
        line->watchCode = code;
    } else if (name == "--host") {
        if (line->room) return Fail(line, "--host, --join, --room and --quick-match exclude each other");
        if (!line->joinAddress.empty()) return Fail(line, "--host and --join exclude each other");
        line->hostGame = true;
        if (hasValue) {
            const long port = AllDigits(value) ? std::strtol(value.c_str(), nullptr, 10) : 0;
            if (port < 1 || port > 65535) return Fail(line, "bad --host port '" + Printable(value) + "' (1 to 65535)");
            line->hostPort = static_cast<uint16_t>(port);
        }
    } else if (name == "--join") {
        if (line->room) return Fail(line, "--host, --join, --room and --quick-match exclude each other");
        if (line->hostGame) return Fail(line, "--host and --join exclude each other");
        char host[kNetHostNameBytes];
        uint16_t port = 0;
        const char* why = "";
        if (!ParseNetAddress(value.c_str(), host, sizeof host, &port, &why))
            return Fail(line, "bad --join address '" + Printable(value) + "': " + why);
        line->joinAddress = value;
    } else if (name == "--delay") {
        if (!AllDigits(value) || std::strtol(value.c_str(), nullptr, 10) > kMaxInputDelay)
            return Fail(line, "bad --delay '" + Printable(value) + "' (0 to 4 passes)");
        line->run.inputDelay = static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
    } else if (name == "--world-server") {
        const char* why = "";
        if (!IsWorldAddress(value.c_str(), &why))
            return Fail(line, "bad --world-server '" + Printable(value) + "': " + why);
        std::memcpy(line->run.worldServer, value.c_str(), value.size() + 1);
    }
    return true;
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    bool windowedSeen = false, fullscreenSeen = false;
    for (int i = 1; i < argc && line.action == CommandAction::Play; ++i) {
        std::string name = argv[i];
        std::string value;
        bool hasValue = false;
        if (name.rfind("--", 0) != 0) {
            const char* what = name.rfind('-', 0) == 0 ? "unknown option '" : "unexpected argument '";
            Fail(&line, what + Printable(name) + "'");
            break;
        }
        const size_t eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        } else if (ValueOptional(name)) {
            if (i + 1 < argc && AllDigits(argv[i + 1])) {
                value = argv[++i];
                hasValue = true;
            }
        } else if (TakesValue(name)) {
            if (i + 1 >= argc) {
                Fail(&line, name + " needs a value");
                break;
            }
            value = argv[++i];
            hasValue = true;
        }
        if (!Apply(name, hasValue, value, &windowedSeen, &fullscreenSeen, &line)) break;
    }
    return line;
}

std::string CommandLineSynopsis() {
    return "voidcrawl [--help] [--version] [--windowed | --fullscreen]\n"
           "          [--scale integer|fit] [--data DIR] [--mute] [--replay FILE]\n"
           "          [--host [PORT] | --join HOST[:PORT] | --room new|CODE |\n"
           "           --quick-match] [--watch CODE] [--delay PASSES]\n"
           "          [--world-server URL]\n";
}

std::string CommandLineUsage() {
    std::string text = "usage: ";
    // The synopsis's later lines line up under the first's options.
    const std::string synopsis = CommandLineSynopsis();
    for (size_t i = 0; i < synopsis.size(); ++i) {
        text += synopsis[i];
        if (synopsis[i] == '\n' && i + 1 < synopsis.size()) text += "       ";
    }
    text += "\n";
    for (const OptionInfo& option : kOptionTable) {
        std::string name = option.name;
        if (option.value[0] != '\0') name += std::string(" ") + option.value;
        const char* help = option.help;
        for (bool first = true; *help != '\0'; first = false) {
            const char* end = help;
            while (*end != '\0' && *end != '\n') ++end;
            char line[160];
            std::snprintf(line, sizeof line, "  %-16s %.*s\n", first ? name.c_str() : "", static_cast<int>(end - help),
                          help);
            text += line;
            help = *end != '\0' ? end + 1 : end;
        }
    }
    return text;
}

std::string CommandLineHelp() {
    return CommandLineUsage() +
           "\n"
           "Without --data the game data is looked for in $VOIDCRAWL_DATA, the working\n"
           "folder, data/ beside the program, ../share/voidcrawl beside the program and\n"
           "the folder it was installed to; the first that holds grafik/ is used.\n"
           "\n"
           "Everything outside play is driven by the mouse or a gamepad's stick (the\n"
           "first pad is player 1's, the second player 2's). In play:\n"
           "\n" +
           ControlsHelp() +
           "\n"
           "Elsewhere a pad's stick moves the pointer and A clicks; on the set-up\n"
           "screen the D-pad spells the name (up/down a letter, right keeps it, B\n"
           "deletes).\n"
           "\n"
           "Settings are kept in\n"
           "$XDG_CONFIG_HOME/voidcrawl/settings.ini (~/.config/voidcrawl/settings.ini);\n"
           "the options above win over them. By section, name, what each takes and its\n"
           "default:\n" +
           SettingsHelp() + "\nExit status: " + ExitStatusHelp() + "\n";
}
