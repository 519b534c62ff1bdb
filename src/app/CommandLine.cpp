#include "app/CommandLine.h"

#include "platform/PrintableText.h"
#include "platform/Settings.h"

namespace {

const char* const kFlags[] = {"--help", "--version", "--windowed", "--fullscreen", "--mute"};

bool TakesValue(const std::string& name) { return name == "--scale" || name == "--data"; }

bool IsKnown(const std::string& name) {
    for (const char* flag : kFlags)
        if (name == flag) return true;
    return TakesValue(name);
}

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
        line->host.fullscreen = windowed ? 0 : 1;
    } else if (name == "--mute") {
        line->host.mute = true;
    } else if (name == "--scale") {
        if (value == "integer")
            line->host.scale = ScaleMode::Integer;
        else if (value == "fit")
            line->host.scale = ScaleMode::Fit;
        else
            return Fail(line, "bad --scale '" + Printable(value) + "' (integer or fit)");
    } else if (name == "--data") {
        if (value.empty()) return Fail(line, "--data needs a folder");
        line->dataDir = value;
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

std::string CommandLineUsage() {
    return "usage: voidcrawl [--help] [--version] [--windowed | --fullscreen]\n"
           "                 [--scale integer|fit] [--data DIR] [--mute]\n"
           "\n"
           "  --help           print this help and the controls, then end\n"
           "  --version        print the version, then end\n"
           "  --windowed       play in a window\n"
           "  --fullscreen     play full screen (the default)\n"
           "  --scale integer  enlarge the 640x480 picture by whole factors only\n"
           "  --scale fit      the largest size that fits the screen, proportions kept\n"
           "                   (default: integer when that gives 2x or more, otherwise fit)\n"
           "  --data DIR       the folder that holds the game data (grafik/, sound/, ...)\n"
           "  --mute           no sound\n";
}

std::string CommandLineHelp() {
    return CommandLineUsage() +
           "\n"
           "Without --data the game data is looked for in $VOIDCRAWL_DATA, the working\n"
           "folder, data/ beside the program, ../share/voidcrawl beside the program and\n"
           "the folder it was installed to; the first that holds grafik/ is used.\n"
           "\n"
           "Everything outside play is driven by the mouse. In play:\n"
           "\n"
           "                                Player 1       Player 2\n"
           "  turn left / right             Left / Right   A / D\n"
           "  warp gate                     right Ctrl     left Ctrl\n"
           "  hyperspace jump (exit open)   right Shift    left Shift\n"
           "  boost / brake (charge held)   Up / Down      W / S\n"
           "\n"
           "SPACE starts a waiting worm, Esc freezes the game behind an \"EXIT Y/N\" box,\n"
           "and holding 1 writes a screen dump (ScrDump.raw and ScrDump.pal).\n"
           "Alt+Enter or F11 switches full screen, F12 saves a screenshot.\n"
           "\n"
           "Gamepads: the first is player 1's, the second player 2's. In play the D-pad\n"
           "or left stick turns, B warps, the right shoulder jumps, X boosts, Y brakes,\n"
           "A starts a waiting worm, Start freezes (then A yes, B no). Elsewhere the\n"
           "stick moves the pointer and A clicks; on the set-up screen the D-pad\n"
           "spells the name (up/down a letter, right keeps it, B deletes).\n"
           "\n"
           "Settings are kept in\n"
           "$XDG_CONFIG_HOME/voidcrawl/settings.ini (~/.config/voidcrawl/settings.ini);\n"
           "the options above win over them. By section, name, what each takes and its\n"
           "default:\n" +
           SettingsHelp() +
           "\n"
           "Exit status: 0 done, 1 start-up failed, 2 bad command line.\n";
}
