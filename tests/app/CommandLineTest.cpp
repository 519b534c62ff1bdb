#include "app/CommandLine.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
        {{"--scale", "fit", "--scale", "integer", "--data", "a", "--data", "b"}, "play|-1|integer|0|b|"},
        {{"--help"}, "help|-1|auto|0||"},
        {{"--mute", "--version", "--bogus"}, "version|-1|auto|1||"},  // reading ends at --version
        {{"--bogus", "--help"}, "error|-1|auto|0||unknown option '--bogus'"},
        {{"--bogus=1"}, "error|-1|auto|0||unknown option '--bogus'"},
        {{"-h"}, "error|-1|auto|0||unknown option '-h'"},
        {{"data"}, "error|-1|auto|0||unexpected argument 'data'"},
        {{"--mute=yes"}, "error|-1|auto|0||--mute takes no value"},
        {{"--help="}, "error|-1|auto|0||--help takes no value"},
        {{"--scale"}, "error|-1|auto|0||--scale needs a value"},
        {{"--mute", "--data"}, "error|-1|auto|1||--data needs a value"},
        {{"--data="}, "error|-1|auto|0||--data needs a folder"},
        {{"--data", ""}, "error|-1|auto|0||--data needs a folder"},
        {{"--scale", "2"}, "error|-1|auto|0||bad --scale '2' (integer or fit)"},
        {{"--scale=FIT"}, "error|-1|auto|0||bad --scale 'FIT' (integer or fit)"},
        {{"--windowed", "--fullscreen"}, "error|0|auto|0||--windowed and --fullscreen exclude each other"},
        {{"--fullscreen", "--windowed"}, "error|1|auto|0||--windowed and --fullscreen exclude each other"},
    };
    for (const auto& c : cases) {
        std::string args;
        for (const char* a : c.args) args += std::string(" '") + a + "'";
        EXPECT_EQ(Parse(c.args), c.expected) << args;
    }
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The real programs answer these before they open a window or look for data,
// so no display is needed; the last two cases stop at the data search.
TEST(CommandLine, TheProgramsAnswerHelpVersionAndMistakesWithTheirExitStatus) {
    char pattern[] = "/tmp/voidcrawl-cmdline-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path root = pattern;
    const std::string game = VC_GAME, runner = VC_RUNNER;
    const struct {
        std::string command;
        int status;
        const char *out, *err;  // text that must appear; nullptr: the stream stays empty
    } cases[] = {
        {game + " --help", 0, "right Shift    left Shift", nullptr},
        {game + " --version", 0, "VoidCrawl 1.0.0\n", nullptr},
        {game + " --scale=big", 2, nullptr, "voidcrawl: bad --scale 'big' (integer or fit)\nusage: voidcrawl"},
        {game + " --windowed --fullscreen", 2, nullptr, "exclude each other\nusage: voidcrawl [--help]"},
        {"VOIDCRAWL_DATA=" + root.string() + "/none " + game, 1, nullptr, "/none: no such folder"},
        {game + " --data " + root.string(), 1, nullptr, "no game data there"},
        {runner + " --help", 0, "usage: voidcrawl-headless", nullptr},
        {runner + " --seed 1 --help", 0, "Exit status: 0 done", nullptr},
        {runner + " --bogus", 2, nullptr, "unknown argument '--bogus'\nusage: voidcrawl-headless"},
    };
    for (const auto& c : cases) {
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY " + c.command + " </dev/null >" +
                                    (root / "out").string() + " 2>" + (root / "err").string();
        const int raw = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(raw)) << c.command;
        EXPECT_EQ(WEXITSTATUS(raw), c.status) << c.command;
        const std::string out = ReadFile(root / "out"), err = ReadFile(root / "err");
        for (const auto& [text, want] : {std::pair{out, c.out}, std::pair{err, c.err}}) {
            if (want != nullptr) {
                EXPECT_NE(text.find(want), std::string::npos) << c.command << "\n" << text;
            } else {
                EXPECT_EQ(text, "") << c.command;
            }
        }
    }
    std::filesystem::remove_all(root);
}

}  // namespace
