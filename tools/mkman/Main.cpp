// mkman: the manual page and the README's tables, made from the rows the
// game's --help is made from (app/CommandLine.h, app/Manual.h and the
// settings table), so that none of them can say something the others do not.
//
//   mkman page FILE DATE DOCDIR DOC...   writes the manual page voidcrawl.6
//                                (DATE: YYYY-MM-DD; DOCDIR: where the install
//                                puts the documents DOC..., which SEE ALSO names)
//   mkman readme README.md       fails, showing the difference, when a table
//                                of the README is not the one made here
//   mkman readme README.md --update   rewrites those tables in place
//
// A table in the README sits between "<!-- mkman NAME -->" and
// "<!-- /mkman -->" lines; everything else in the file is the README's own.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "app/CommandLine.h"
#include "app/Manual.h"
#include "platform/Settings.h"

namespace {

// ---- the manual page ----------------------------------------------------------

// Text for a roff text line: `literal` spans in bold, backslashes and
// minus signs escaped, a line that would start with a request guarded.
std::string Roff(const char* text) {
    std::string out;
    bool literal = false;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '`') {
            out += literal ? "\\fR" : "\\fB";
            literal = !literal;
        } else if (*c == '\\') {
            out += "\\e";
        } else if (*c == '-') {
            out += "\\-";
        } else if (*c == '\n') {
            out += ' ';
        } else {
            out += *c;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
    return out;
}

std::string Roff(const std::string& text) { return Roff(text.c_str()); }

std::string Paragraphs(const char* const* paragraphs) {
    std::string out;
    for (int i = 0; paragraphs[i] != nullptr; ++i) out += (i > 0 ? ".PP\n" : "") + Roff(paragraphs[i]) + "\n";
    return out;
}

// `docs/NAME` in a row is the repository's path; the page names the copy
// the install puts in DOCDIR.
std::string InstalledDocs(std::string text, const std::string& docdir) {
    const std::string repository = "docs/";
    for (size_t at = text.find(repository); at != std::string::npos; at = text.find(repository, at + docdir.size()))
        text.replace(at, repository.size(), docdir + "/");
    return text;
}

// What each document the install puts beside the page holds (CMake's
// VC_INSTALLED_DOCS names them, by their file names there).
struct DocInfo {
    const char* name;
    const char* help;
};
const DocInfo kDocTable[] = {
    {"README.md",
     "building, installing, playing (online play and hosting across a router included), replays "
     "and the headless runner, the settings and the files the game writes"},
    {"online-play.md",
     "how online play works, and what it measures: the round trip, the input delay and the passes played "
     "again"},
    {"net-protocol.md", "the network protocol: the link over UDP, the greeting and the datagrams of a match"},
    {"replay-format.md", "the replay file's format, and how a replay is watched and verified"},
};

const DocInfo* FindDoc(const std::string& name) {
    for (const DocInfo& doc : kDocTable)
        if (name == doc.name) return &doc;
    return nullptr;
}

std::string ManPage(const char* date, const std::string& docdir, const std::string* docs, int docCount) {
    std::string page =
        ".\\\" The manual page of VoidCrawl, made by tools/mkman: change the rows it is\n"
        ".\\\" made from (src/app/CommandLine.cpp, src/app/Manual.cpp, the settings\n"
        ".\\\" table in src/platform/Settings.cpp), never this file.\n";
    page += std::string(".TH VOIDCRAWL 6 ") + date + " \"VoidCrawl " + kGameVersion + "\" \"Games\"\n";
    // No hyphenation, lines filled to the left: a path or an option broken
    // across lines would be copied wrong, and one too long for the line's
    // width cannot be spread to it.
    page += ".nh\n.ad l\n";
    page += ".SH NAME\nvoidcrawl \\- steer a space worm through twenty arenas\n";

    std::string synopsis = CommandLineSynopsis();
    synopsis = synopsis.substr(std::strlen("voidcrawl "));
    for (size_t at = synopsis.find('\n'); at != std::string::npos; at = synopsis.find('\n', at + 1))
        synopsis.replace(at, std::strspn(synopsis.c_str() + at, "\n "), " ");
    page += ".SH SYNOPSIS\n.B voidcrawl\n" + Roff(synopsis) + "\n";

    const char* const description[] = {
        "VoidCrawl is an arcade game for one player, or two at one keyboard or on two machines over the "
        "network. Each player steers a space worm across a 20 by 14 arena; every piece of food it eats makes "
        "it longer. At the level's target length the hyperspace exit opens, and a jump through it ends the "
        "level. Walls, worms and the arena's edge wear down the worm's plasma shield. Twenty levels, three "
        "difficulties, ship upgrades bought between levels and a high-score table for each difficulty.",
        "The game opens full screen (a window with `--windowed`); its 640x480 picture is enlarged to fit. "
        "Everything outside play is driven by the mouse or a gamepad's stick. Without a sound device it plays "
        "silent and says so on stderr.",
        "Online, one game hosts (`--host`, or HOST AN ONLINE GAME under TWO PLAYERS) on a UDP port, 7311 "
        "unless changed, and the other joins it (`--join`, or JOIN AN ONLINE GAME) by a host name, an IPv4 "
        "address or an IPv6 address. The link is the game's own over UDP, each datagram sealed with a key the "
        "two games agree on. Each machine runs both worms: the other player's keys are foreseen, and when the "
        "real ones differ the game goes back to the last pass it was sure of and plays the passes since again "
        "(rollback, at most 20 passes); the two games compare a hash of their play state as they go.",
        "Every game is recorded as a replay (its input) in the player's folder (see FILES), online games on "
        "both machines. `--replay` watches one: P or SPACE pauses, 1, 2, 4 and 8 set the speed, N skips to "
        "the next level, Esc leaves. Watching checks every state hash the file holds and stops where the "
        "replay goes out of step; a file of another version or data set is refused.",
        nullptr};
    page += ".SH DESCRIPTION\n" + Paragraphs(description);

    page += ".SH OPTIONS\n";
    page += Roff(
                "Options that take a value accept `--scale fit` and `--scale=fit`. An unknown option, a "
                "missing or bad value, or both `--windowed` and `--fullscreen` print the reason and the usage "
                "on stderr and end with status 2, before any window opens.") +
            "\n";
    for (int i = 0; i < kOptionCount; ++i) {
        const OptionInfo& option = kOptionTable[i];
        page += ".TP\n\\fB" + Roff(option.name) + "\\fR";
        if (option.value[0] != '\0') page += " \\fI" + Roff(option.value) + "\\fR";
        page += "\n" + Roff(option.help) + "\n";
    }

    page += ".SH CONTROLS\n";
    page += Roff(
                "The usual keys and gamepad buttons of each action in play; the options screen (and the "
                "settings file) gives each player other keys. The first gamepad is player 1's, the second "
                "player 2's.") +
            "\n";
    for (int i = 0; i < kControlCount; ++i) {
        const ControlInfo& control = kControlTable[i];
        page += ".TP\n" + Roff(control.action) + "\n" +
                Roff(std::string("Player 1: ") + control.player1 + "; player 2: " + control.player2 +
                     "; gamepad: " + control.pad + ".") +
                "\n";
    }
    page += ".PP\nAnywhere:\n";
    for (int i = 0; i < kOtherKeyCount; ++i)
        page += ".TP\n" + Roff(kOtherKeyTable[i].key) + "\n" + Roff(kOtherKeyTable[i].help) + "\n";

    page += ".SH SETTINGS\n";
    const char* const settings[] = {
        "The settings file `$XDG_CONFIG_HOME/voidcrawl/settings.ini` (`~/.config/voidcrawl/settings.ini`) "
        "holds the player's choices by section. It is read at start-up; the command line wins over it. The "
        "options screen, Alt+Enter and F11 rewrite the line of the setting they change and no other.",
        "Comments are whole lines starting with `#` or `;`. Names and values are read without regard to case; "
        "`yes` and `no` may also be `true` and `false`, `on` and `off`, `1` and `0`. Keys go by SDL's names "
        "(`Left`, `Right Ctrl`, `Keypad 8`, letters and digits as printed) and are keys by their place on the "
        "keyboard; gamepad buttons by SDL's names (`a`, `b`, `x`, `y`, `back`, `start`, `leftshoulder`, "
        "`rightshoulder`, `leftstick`, `rightstick`, `dpup`, `dpdown`, `dpleft`, `dpright`). Esc, Space, 1, Y, "
        "N, F11 and F12 cannot steer, and each action needs a key (and button) of its own. A line that makes "
        "no sense costs a warning on stderr, and that setting keeps its default.",
        nullptr};
    page += Paragraphs(settings);
    Settings defaults;
    defaults.fullscreen = 1;
    const char* section = "";
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingInfo& setting = kSettingTable[i];
        if (std::strcmp(section, setting.section) != 0) {
            section = setting.section;
            page += std::string(".SS [") + section + "]\n";
        }
        // The file's comment often starts with the values: said once here.
        const char* values = SettingValues(setting.type);
        std::string comment = setting.help;
        if (comment.rfind(values, 0) == 0) comment.erase(0, comment.find_first_not_of(",; ", std::strlen(values)));
        std::string help = std::string(values) + " (default: " + SettingValueText(setting, defaults) + ")";
        help += comment.empty() ? std::string(".") : "; " + comment + ".";
        page += ".TP\n\\fB" + Roff(setting.name) + "\\fR\n" + Roff(help) + "\n";
    }

    page += ".SH FILES\n";
    page += Roff(
                "The game reads its data (pictures, sounds, levels) from the first folder that holds "
                "`grafik/`: `--data`, `$VOIDCRAWL_DATA`, the working folder, `data/` beside the program, "
                "`../share/voidcrawl` beside the program, and the folder it was installed to. It never writes "
                "there. It writes, each file whole or not at all:") +
            "\n";
    for (int i = 0; i < kFileCount; ++i)
        page += ".TP\n" + Roff(kFileTable[i].path) + "\n" + Roff(InstalledDocs(kFileTable[i].help, docdir)) + "\n";

    page += ".SH ENVIRONMENT\n";
    for (int i = 0; i < kEnvironmentCount; ++i)
        page += ".TP\n\\fB" + Roff(kEnvironmentTable[i].name) + "\\fR\n" + Roff(kEnvironmentTable[i].help) + "\n";

    page += ".SH EXIT STATUS\n";
    for (int i = 0; i < kExitStatusCount; ++i)
        page += ".TP\n" + std::to_string(kExitStatusTable[i].status) + "\n" + Roff(kExitStatusTable[i].help) + "\n";

    page += ".SH SEE ALSO\n";
    page += Roff("The documents installed with the game, in `" + docdir + "`:") + "\n";
    for (int i = 0; i < docCount; ++i)
        page += ".TP\n" + Roff("`" + docdir + "/" + docs[i] + "`") + "\n" + Roff(FindDoc(docs[i])->help) + "\n";
    page += ".PP\n" +
            Roff(
                "The headless runner `voidcrawl-headless` (`--replay FILE --verify` checks a replay), built "
                "beside the game from its source, is not installed; the README says how to use it.") +
            "\n";
    return page;
}

// ---- the README's tables -----------------------------------------------------

std::string Cell(const char* text) {
    std::string out = text;
    for (size_t at = out.find('\n'); at != std::string::npos; at = out.find('\n', at)) out[at] = ' ';
    return out;
}

std::string ReadmeTable(const std::string& name) {
    std::string out;
    if (name == "options") {
        out = "```\n" + CommandLineSynopsis() + "```\n\n| option | effect |\n|---|---|\n";
        for (int i = 0; i < kOptionCount; ++i) {
            const OptionInfo& option = kOptionTable[i];
            std::string shown = option.name;
            if (option.value[0] != '\0') shown += std::string(" ") + option.value;
            out += "| `" + shown + "` | " + Cell(option.help) + " |\n";
        }
    } else if (name == "controls") {
        out = "| | Player 1 | Player 2 | Gamepad |\n|---|---|---|---|\n";
        for (int i = 0; i < kControlCount; ++i) {
            const ControlInfo& c = kControlTable[i];
            out += std::string("| ") + c.action + " | " + c.player1 + " | " + c.player2 + " | " + c.pad + " |\n";
        }
        out += "\n| anywhere | |\n|---|---|\n";
        for (int i = 0; i < kOtherKeyCount; ++i)
            out += std::string("| ") + kOtherKeyTable[i].key + " | " + kOtherKeyTable[i].help + " |\n";
    } else if (name == "files") {
        out = "| file | written |\n|---|---|\n";
        for (int i = 0; i < kFileCount; ++i)
            out += std::string("| ") + kFileTable[i].path + " | " + kFileTable[i].help + " |\n";
    } else if (name == "environment") {
        out = "| variable | what it does |\n|---|---|\n";
        for (int i = 0; i < kEnvironmentCount; ++i)
            out += std::string("| `") + kEnvironmentTable[i].name + "` | " + kEnvironmentTable[i].help + " |\n";
    } else if (name == "exit") {
        out = "| exit status | |\n|---|---|\n";
        for (int i = 0; i < kExitStatusCount; ++i)
            out += "| " + std::to_string(kExitStatusTable[i].status) + " | " + kExitStatusTable[i].help + " |\n";
    }
    return out;
}

const char* const kReadmeTables[] = {"options", "controls", "files", "environment", "exit"};

// Checks (or, with `update`, rewrites) every table of the README.
int Readme(const char* path, bool update) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "mkman: cannot read %s\n", path);
        return 1;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    int faults = 0;
    for (const char* name : kReadmeTables) {
        const std::string open = std::string("<!-- mkman ") + name + " -->\n";
        const std::string close = "<!-- /mkman -->\n";
        const size_t begin = text.find(open);
        const size_t end = begin == std::string::npos ? begin : text.find(close, begin);
        if (end == std::string::npos) {
            std::fprintf(stderr, "mkman: %s has no \"%s\" ... \"%s\" table\n", path, open.c_str(), close.c_str());
            ++faults;
            continue;
        }
        const size_t from = begin + open.size();
        const std::string made = ReadmeTable(name);
        if (text.compare(from, end - from, made) == 0) continue;
        if (update) {
            text.replace(from, end - from, made);
        } else {
            std::fprintf(stderr, "mkman: the %s table in %s is not the one the game's rows make; it should be:\n%s",
                         name, path, made.c_str());
            ++faults;
        }
    }
    if (update) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            std::fprintf(stderr, "mkman: cannot write %s\n", path);
            return 1;
        }
    }
    if (faults > 0 && !update)
        std::fprintf(stderr, "mkman: `build/mkman readme README.md --update` brings the README up to date\n");
    return faults == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::strcmp(argv[1], "page") == 0) {
        std::string docs[sizeof kDocTable / sizeof kDocTable[0]];
        const int docCount = argc - 5;
        if (docCount > static_cast<int>(sizeof docs / sizeof docs[0])) {
            std::fprintf(stderr, "mkman: more documents than mkman describes\n");
            return 2;
        }
        for (int i = 0; i < docCount; ++i) {
            docs[i] = argv[5 + i];
            docs[i] = docs[i].substr(docs[i].find_last_of('/') + 1);
            if (FindDoc(docs[i]) == nullptr) {
                std::fprintf(stderr, "mkman: no description of the document %s (kDocTable)\n", argv[5 + i]);
                return 2;
            }
        }
        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        out << ManPage(argv[3], argv[4], docs, docCount);
        if (!out.flush()) {
            std::fprintf(stderr, "mkman: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if ((argc == 3 || (argc == 4 && std::strcmp(argv[3], "--update") == 0)) && std::strcmp(argv[1], "readme") == 0)
        return Readme(argv[2], argc == 4);
    std::fprintf(stderr, "usage: mkman page FILE DATE DOCDIR [DOC...] | mkman readme README.md [--update]\n");
    return 2;
}
