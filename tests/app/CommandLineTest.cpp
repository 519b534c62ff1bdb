#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// action|fullscreen|scale|mute|dataDir|error
std::string Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "voidcrawl");
    const CommandLine line = ParseCommandLine(static_cast<int>(args.size()), args.data());
    std::ostringstream out;
    const char* const actions[] = {"play", "help", "version", "error"};
    const char* const scales[] = {"auto", "integer", "fit"};
    out << actions[static_cast<int>(line.action)] << '|' << line.run.fullscreen << '|'
        << scales[static_cast<int>(line.run.scale)] << '|' << line.run.mute << '|' << line.dataDir << '|' << line.error;
    return out.str();
}

TEST(CommandLine, EveryOptionInBothFormsAndEveryMistake) {
    const struct {
        std::vector<const char*> args;
        const char* expected;
    } cases[] = {
        {{}, "play|-1|auto|0||"},
        {{"--windowed", "--scale", "fit", "--data", "d x", "--mute"}, "play|0|fit|1|d x|"},
        {{"--fullscreen", "--scale=integer", "--data=/a=b", "--fullscreen"}, "play|1|integer|0|/a=b|"},
        {{"--help"}, "help|-1|auto|0||"},
        {{"--mute", "--version", "--bogus"}, "version|-1|auto|1||"},  // reading ends at --version
        {{"data"}, "error|-1|auto|0||unexpected argument 'data'"},
        {{"--mute=yes"}, "error|-1|auto|0||--mute takes no value"},
        {{"--scale"}, "error|-1|auto|0||--scale needs a value"},
        {{"--data="}, "error|-1|auto|0||--data needs a folder"},
        {{"--scale", "2"}, "error|-1|auto|0||bad --scale '2' (integer or fit)"},
        {{"--windowed", "--fullscreen"}, "error|0|auto|0||--windowed and --fullscreen exclude each other"},
        // What the player typed is quoted without terminal escapes.
        {{"--\x1b[2J"}, "error|-1|auto|0||unknown option '--?[2J'"},
        {{"\x1b]0;x\x07"}, "error|-1|auto|0||unexpected argument '?]0;x?'"},
        {{"--scale=\x9b"
          "31m"},
         "error|-1|auto|0||bad --scale '?31m' (integer or fit)"},
    };
    for (const auto& c : cases) {
        std::string args;
        for (const char* a : c.args) args += std::string(" '") + a + "'";
        EXPECT_EQ(Parse(c.args), c.expected) << args;
    }
}

// Online play: hosting on a port (given or not), joining an address, the
// input delay, and what the reader refuses.
TEST(CommandLine, HostingJoiningAndTheInputDelay) {
    const struct {
        std::vector<const char*> args;
        const char* expected;  // host port|join|delay, or the error
    } cases[] = {
        {{"--host"}, "7311||-1"},  // -1: the settings' delay
        {{"--host", "--mute"}, "7311||-1"},
        {{"--host", "7400", "--delay", "0"}, "7400||0"},
        {{"--host=7400"}, "7400||-1"},
        {{"--join", "example.org:7400", "--delay=4"}, "-|example.org:7400|4"},
        {{"--join=10.0.0.2"}, "-|10.0.0.2|-1"},
        {{"--host", "0"}, "bad --host port '0' (1 to 65535)"},
        {{"--host=65536"}, "bad --host port '65536' (1 to 65535)"},
        {{"--host", "--join", "a"}, "--host and --join exclude each other"},
        {{"--join", "a", "--host"}, "--host and --join exclude each other"},
        {{"--join"}, "--join needs a value"},
        {{"--delay", "5"}, "bad --delay '5' (0 to 4 passes)"},
        {{"--delay=-1"}, "bad --delay '-1' (0 to 4 passes)"},
    };
    for (const auto& c : cases) {
        std::vector<const char*> args = c.args;
        args.insert(args.begin(), "voidcrawl");
        const CommandLine line = ParseCommandLine(static_cast<int>(args.size()), args.data());
        std::string got = line.error;
        if (line.action == CommandAction::Play)
            got = (line.hostGame ? std::to_string(line.hostPort) : "-") + "|" + line.joinAddress + "|" +
                  std::to_string(line.run.inputDelay);
        EXPECT_EQ(got, c.expected) << (c.args.empty() ? "" : c.args[0]);
    }
    // A bad address says why.
    const char* bad[] = {"voidcrawl", "--join", "host:99999"};
    const CommandLine line = ParseCommandLine(3, bad);
    EXPECT_EQ(line.error.rfind("bad --join address 'host:99999': ", 0), 0u) << line.error;
}

// A room: a new one, one's code (folded to upper case), a quick match;
// each excludes the others and hosting or joining an address.
TEST(CommandLine, ARoomByItsCodeANewOneOrAQuickMatch) {
    const struct {
        std::vector<const char*> args;
        const char* expected;  // mode|code, or the error
    } cases[] = {
        {{"--room", "new"}, "create|"},
        {{"--room=kmNpq"}, "join|KMNPQ"},
        {{"--room", "ACDEF", "--delay", "3"}, "join|ACDEF"},
        {{"--quick-match"}, "quick|"},
        {{"--room", "KMNP"}, "bad --room 'KMNP' (new, or a room's code: five letters)"},
        {{"--room", "KMNPQR"}, "bad --room 'KMNPQR' (new, or a room's code: five letters)"},
        {{"--room", "BOSZI"}, "bad --room 'BOSZI' (new, or a room's code: five letters)"},  // letters no code has
        {{"--room"}, "--room needs a value"},
        {{"--quick-match=yes"}, "--quick-match takes no value"},
        {{"--room", "new", "--quick-match"}, "--host, --join, --room and --quick-match exclude each other"},
        {{"--host", "--room", "new"}, "--host, --join, --room and --quick-match exclude each other"},
        {{"--quick-match", "--join", "a"}, "--host, --join, --room and --quick-match exclude each other"},
        {{"--room", "new", "--host"}, "--host, --join, --room and --quick-match exclude each other"},
    };
    const char* const modes[] = {"create", "join", "quick"};
    for (const auto& c : cases) {
        std::vector<const char*> args = c.args;
        args.insert(args.begin(), "voidcrawl");
        const CommandLine line = ParseCommandLine(static_cast<int>(args.size()), args.data());
        std::string got = line.error;
        if (line.action == CommandAction::Play) {
            EXPECT_TRUE(line.room);
            got = std::string(modes[static_cast<int>(line.roomMode)]) + "|" + line.roomCode;
        }
        EXPECT_EQ(got, c.expected) << c.args[0];
    }
}

// A room's game to watch: its code, folded to upper case; with or without
// a world server on the line (the settings' may be set).
TEST(CommandLine, AGameToWatchByItsRoomsCode) {
    const struct {
        std::vector<const char*> args;
        const char* expected;  // the code, or the error
    } cases[] = {
        {{}, ""},
        {{"--watch", "kmnpq"}, "KMNPQ"},
        {{"--watch=ACDEF", "--world-server", "http://127.0.0.1:8080"}, "ACDEF"},
        {{"--watch", "KMNP"}, "bad --watch 'KMNP' (a room's code: five letters)"},
        {{"--watch", "BOSZI"}, "bad --watch 'BOSZI' (a room's code: five letters)"},
        {{"--watch", "\x1b[2J"}, "bad --watch '?[2J' (a room's code: five letters)"},
        {{"--watch"}, "--watch needs a value"},
    };
    for (const auto& c : cases) {
        std::vector<const char*> args = c.args;
        args.insert(args.begin(), "voidcrawl");
        const CommandLine line = ParseCommandLine(static_cast<int>(args.size()), args.data());
        EXPECT_EQ(line.action == CommandAction::Play ? line.watchCode : line.error, c.expected);
    }
}

// The world table's server for a run: an http or https address, refused
// with the reason otherwise; quoted without terminal escapes.
TEST(CommandLine, TheWorldServerIsAPlainHttpAddress) {
    const std::string tooLong = "http://" + std::string(kWorldAddressBytes, 'a');
    const struct {
        std::vector<const char*> args;
        const char* expected;  // the server, or the error
    } cases[] = {
        {{}, ""},
        {{"--world-server", "http://127.0.0.1:8080"}, "http://127.0.0.1:8080"},
        {{"--world-server=https://scores.example.org/vc"}, "https://scores.example.org/vc"},
        {{"--world-server"}, "--world-server needs a value"},
        {{"--world-server", ""}, "bad --world-server '': no address"},
        {{"--world-server", "scores.example.org"},
         "bad --world-server 'scores.example.org': it must start with http:// or https://"},
        {{"--world-server", "http://a b"},
         "bad --world-server 'http://a b': only printable characters, without spaces, quotes or \\ < >"},
        {{"--world-server", "http://\x1b[2J"},
         "bad --world-server 'http://?[2J': only printable characters, without spaces, quotes or \\ < >"},
        {{"--world-server", "https://"}, "bad --world-server 'https://': no server named after ://"},
        {{"--world-server", tooLong.c_str()}, nullptr},
    };
    for (const auto& c : cases) {
        std::vector<const char*> args = c.args;
        args.insert(args.begin(), "voidcrawl");
        const CommandLine line = ParseCommandLine(static_cast<int>(args.size()), args.data());
        const std::string got = line.action == CommandAction::Play ? line.run.worldServer : line.error;
        if (c.expected == nullptr)
            EXPECT_EQ(got.substr(got.size() - 11), "': too long") << got;
        else
            EXPECT_EQ(got, c.expected) << (c.args.empty() ? "" : c.args[0]);
    }
}

// The synopsis is written by hand; every row of the options' table must be
// in it, and read as the table says (a value, or none).
TEST(CommandLine, TheSynopsisNamesEveryOptionTheReaderTakes) {
    const std::string synopsis = CommandLineSynopsis();
    for (int i = 0; i < kOptionCount; ++i) {
        const OptionInfo& option = kOptionTable[i];
        const bool takesValue = option.value[0] != '\0';
        const std::string shown = std::string(option.name) + (takesValue ? " " : "");
        EXPECT_NE(synopsis.find(shown), std::string::npos) << option.name;
        EXPECT_NE(synopsis.find(option.value), std::string::npos) << option.name << " " << option.value;
        const std::string given = std::string(option.name) + "=" + (takesValue ? option.value : "x");
        EXPECT_EQ(Parse({given.c_str()}).find("takes no value") != std::string::npos, !takesValue) << given;
    }
}

}  // namespace
