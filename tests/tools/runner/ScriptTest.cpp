#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "Script.h"

namespace {

std::vector<ScriptCommand> ParseOk(const std::string& text) {
    std::vector<ScriptCommand> commands;
    std::string error;
    EXPECT_TRUE(ParseScript(text, &commands, &error)) << error;
    return commands;
}

std::string ParseError(const std::string& text) {
    std::vector<ScriptCommand> commands;
    std::string error;
    EXPECT_FALSE(ParseScript(text, &commands, &error)) << "accepted: " << text;
    return error;
}

}  // namespace

TEST(ScriptKeys, NamedKeysMapToScanCodes) {
    EXPECT_EQ(ParseKeyName("esc"), 0x01);
    EXPECT_EQ(ParseKeyName("enter"), 0x1C);
    EXPECT_EQ(ParseKeyName("space"), 0x39);
    EXPECT_EQ(ParseKeyName("backspace"), 0x0E);
    EXPECT_EQ(ParseKeyName("left"), 0xCB);
    EXPECT_EQ(ParseKeyName("right"), 0xCD);
    EXPECT_EQ(ParseKeyName("up"), 0xC8);
    EXPECT_EQ(ParseKeyName("down"), 0xD0);
    EXPECT_EQ(ParseKeyName("lctrl"), 0x1D);
    EXPECT_EQ(ParseKeyName("rctrl"), 0x9D);
    EXPECT_EQ(ParseKeyName("lshift"), 0x2A);
    EXPECT_EQ(ParseKeyName("rshift"), 0x36);
    EXPECT_EQ(ParseKeyName("lmb"), kMouseButtonKey);
    EXPECT_EQ(ParseKeyName("ESC"), 0x01);
    EXPECT_EQ(ParseKeyName("Space"), 0x39);
}

TEST(ScriptKeys, LettersFollowTheKeyboardRows) {
    const char* rows[] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
    const int starts[] = {0x10, 0x1E, 0x2C};
    for (int r = 0; r < 3; ++r) {
        for (int i = 0; rows[r][i]; ++i) {
            std::string name(1, rows[r][i]);
            EXPECT_EQ(ParseKeyName(name), starts[r] + i) << name;
        }
    }
    EXPECT_EQ(ParseKeyName("Y"), 0x15);
    EXPECT_EQ(ParseKeyName("N"), 0x31);
}

TEST(ScriptKeys, DigitsFollowTheMainRow) {
    EXPECT_EQ(ParseKeyName("1"), 0x02);
    EXPECT_EQ(ParseKeyName("5"), 0x06);
    EXPECT_EQ(ParseKeyName("9"), 0x0A);
    EXPECT_EQ(ParseKeyName("0"), 0x0B);
}

TEST(ScriptKeys, HexCodes) {
    EXPECT_EQ(ParseKeyName("0x39"), 0x39);
    EXPECT_EQ(ParseKeyName("0X1e"), 0x1E);
    EXPECT_EQ(ParseKeyName("0x01"), 0x01);
    EXPECT_EQ(ParseKeyName("0xff"), 0xFF);
    EXPECT_EQ(ParseKeyName("0x100"), -1);
    EXPECT_EQ(ParseKeyName("0x0"), -1);
    EXPECT_EQ(ParseKeyName("0x"), -1);
    EXPECT_EQ(ParseKeyName("0xg1"), -1);
    EXPECT_EQ(ParseKeyName("0x-1"), -1);
}

TEST(ScriptKeys, UnknownNames) {
    EXPECT_EQ(ParseKeyName(""), -1);
    EXPECT_EQ(ParseKeyName("foo"), -1);
    EXPECT_EQ(ParseKeyName("escape"), -1);
    EXPECT_EQ(ParseKeyName("!"), -1);
    EXPECT_EQ(ParseKeyName("rmb"), -1);
}

TEST(ScriptParse, EveryCommand) {
    auto cmds = ParseOk(
        "0 press space\n"
        "0 release 0x39\n"
        "3 mouse 100 -20\n"
        "3 shot out/a.png\n"
        "4 state s.json\n"
        "9 end\n");
    ASSERT_EQ(cmds.size(), 6u);
    EXPECT_EQ(cmds[0].op, ScriptOp::Press);
    EXPECT_EQ(cmds[0].key, 0x39);
    EXPECT_EQ(cmds[0].frame, 0);
    EXPECT_EQ(cmds[1].op, ScriptOp::Release);
    EXPECT_EQ(cmds[1].key, 0x39);
    EXPECT_EQ(cmds[2].op, ScriptOp::Mouse);
    EXPECT_EQ(cmds[2].x, 100);
    EXPECT_EQ(cmds[2].y, -20);
    EXPECT_EQ(cmds[2].frame, 3);
    EXPECT_EQ(cmds[3].op, ScriptOp::Shot);
    EXPECT_EQ(cmds[3].path, "out/a.png");
    EXPECT_EQ(cmds[4].op, ScriptOp::State);
    EXPECT_EQ(cmds[4].path, "s.json");
    EXPECT_EQ(cmds[4].frame, 4);
    EXPECT_EQ(cmds[5].op, ScriptOp::End);
    EXPECT_EQ(cmds[5].frame, 9);
    EXPECT_EQ(cmds[5].line, 6);
}

TEST(ScriptParse, CommentsBlankLinesAndLineNumbers) {
    auto cmds = ParseOk(
        "# a whole-line comment\n"
        "\n"
        "   \t\n"
        "5 press lmb   # trailing comment\n"
        "  7\tmouse  1 2\r\n"
        "#9 end\n");
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].line, 4);
    EXPECT_EQ(cmds[0].key, kMouseButtonKey);
    EXPECT_EQ(cmds[1].line, 5);
    EXPECT_EQ(cmds[1].frame, 7);
    EXPECT_EQ(cmds[1].x, 1);
    EXPECT_EQ(cmds[1].y, 2);
}

TEST(ScriptParse, EmptyScriptHasNoCommands) {
    EXPECT_TRUE(ParseOk("").empty());
    EXPECT_TRUE(ParseOk("# nothing\n\n").empty());
}

TEST(ScriptParse, EqualFramesKeepTheirOrder) {
    auto cmds = ParseOk("2 press a\n2 release a\n2 press b\n");
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[0].key, 0x1E);
    EXPECT_EQ(cmds[1].op, ScriptOp::Release);
    EXPECT_EQ(cmds[2].key, 0x30);
}

TEST(ScriptParse, ErrorsNameTheLine) {
    EXPECT_EQ(ParseError("0 press a\n\n12 press foo\n"), "script:3: unknown key 'foo'");
    EXPECT_EQ(ParseError("# c\n1 jump\n"), "script:2: unknown command 'jump'");
    EXPECT_EQ(ParseError("1 press\n"), "script:1: press needs a key");
    EXPECT_EQ(ParseError("1 release\n"), "script:1: release needs a key");
    EXPECT_EQ(ParseError("1 mouse 5\n"), "script:1: mouse needs X and Y");
    EXPECT_EQ(ParseError("1 shot\n"), "script:1: shot needs a file name");
    EXPECT_EQ(ParseError("1 state\n"), "script:1: state needs a file name");
    EXPECT_EQ(ParseError("1\n"), "script:1: missing command");
}

TEST(ScriptParse, FramesMustNotDecrease) {
    std::string error = ParseError("5 press a\n5 release a\n4 press b\n");
    EXPECT_EQ(error.rfind("script:3: ", 0), 0u) << error;
    EXPECT_NE(error.find('4'), std::string::npos) << error;
}

TEST(ScriptParse, BadNumbersAndExtraArguments) {
    EXPECT_EQ(ParseError("x press a\n").rfind("script:1: bad frame", 0), 0u);
    EXPECT_EQ(ParseError("-1 press a\n").rfind("script:1: bad frame", 0), 0u);
    EXPECT_EQ(ParseError("1.5 end\n").rfind("script:1: bad frame", 0), 0u);
    EXPECT_EQ(ParseError("1 mouse 10 y\n").rfind("script:1: bad mouse position", 0), 0u);
    EXPECT_EQ(ParseError("1 mouse 10 20 30\n"), "script:1: too many arguments for mouse");
    EXPECT_EQ(ParseError("1 end now\n"), "script:1: too many arguments for end");
    EXPECT_EQ(ParseError("1 press a b\n"), "script:1: too many arguments for press");
    EXPECT_EQ(ParseError("1 Press a\n"), "script:1: unknown command 'Press'");
}

TEST(ScriptParse, LoadScriptReadsFilesAndReportsMissingOnes) {
    std::string path = ::testing::TempDir() + "runner_script_test.txt";
    {
        std::ofstream out(path);
        out << "0 press esc\n1 end\n";
    }
    std::vector<ScriptCommand> cmds;
    std::string error;
    ASSERT_TRUE(LoadScript(path, &cmds, &error)) << error;
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].key, 0x01);
    std::remove(path.c_str());

    EXPECT_FALSE(LoadScript(path, &cmds, &error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
}
