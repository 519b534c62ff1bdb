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
    out << actions[static_cast<int>(line.action)] << '|' << line.host.fullscreen << '|'
        << scales[static_cast<int>(line.host.scale)] << '|' << line.host.mute << '|' << line.dataDir << '|'
        << line.error;
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
        EXPECT_EQ(Parse({given.c_str()}).rfind("error", 0) == 0, !takesValue) << given;
    }
}

}  // namespace
