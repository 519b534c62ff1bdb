#include <gtest/gtest.h>

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

TEST(ScriptKeys, NamesMapToScanCodes) {
    const std::pair<const char*, int> keys[] = {
        {"esc", 0x01},   {"enter", 0x1C}, {"space", 0x39},  {"backspace", 0x0E}, {"left", 0xCB},
        {"right", 0xCD}, {"up", 0xC8},    {"down", 0xD0},   {"lctrl", 0x1D},     {"rctrl", 0x9D},
        {"lshift", 0x2A}, {"rshift", 0x36}, {"ESC", 0x01},  {"Space", 0x39},     {"lmb", kMouseButtonKey},
        {"Y", 0x15},     {"N", 0x31},     {"1", 0x02},      {"9", 0x0A},         {"0", 0x0B},
        {"0x39", 0x39},  {"0X1e", 0x1E},  {"0xff", 0xFF},   {"0x100", -1},       {"0x0", -1},
        {"0x", -1},      {"0xg1", -1},    {"0x-1", -1},     {"", -1},            {"escape", -1},
        {"!", -1},       {"rmb", -1}};
    for (const auto& [name, code] : keys) EXPECT_EQ(ParseKeyName(name), code) << name;
    // Letters follow the keyboard's rows.
    const char* rows[] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
    const int starts[] = {0x10, 0x1E, 0x2C};
    for (int r = 0; r < 3; ++r)
        for (int i = 0; rows[r][i]; ++i) EXPECT_EQ(ParseKeyName(std::string(1, rows[r][i])), starts[r] + i) << rows[r][i];
}

TEST(ScriptParse, EveryCommandWithCommentsAndLineNumbers) {
    auto cmds = ParseOk(
        "# a whole-line comment\n"
        "\n"
        "   \t\n"
        "0 press space   # trailing comment\n"
        "0 release 0x39\n"
        "  3\tmouse  100 -20\r\n"
        "3 focus lost\n"
        "3 shot out/a.png\n"
        "4 focus gained\n"
        "#9 end\n"
        "4 state s.json\n"
        "9 end\n");
    std::vector<std::string> got;
    for (const ScriptCommand& c : cmds) {
        const char* ops[] = {"press", "release", "mouse", "focus", "shot", "state", "end"};
        got.push_back(std::to_string(c.frame) + " " + ops[static_cast<int>(c.op)] + " " + std::to_string(c.key) + " " +
                      std::to_string(c.x) + "," + std::to_string(c.y) + " " + c.path +
                      (c.op == ScriptOp::Focus ? (c.focused ? "gained" : "lost") : "") + " @" +
                      std::to_string(c.line));
    }
    EXPECT_EQ(got, (std::vector<std::string>{"0 press 57 0,0  @4", "0 release 57 0,0  @5", "3 mouse 0 100,-20  @6",
                                             "3 focus 0 0,0 lost @7", "3 shot 0 0,0 out/a.png @8",
                                             "4 focus 0 0,0 gained @9", "4 state 0 0,0 s.json @11",
                                             "9 end 0 0,0  @12"}));
    EXPECT_TRUE(ParseOk("# nothing\n\n").empty());
}

TEST(ScriptParse, ErrorsNameTheLine) {
    const std::pair<const char*, const char*> exact[] = {
        {"0 press a\n\n12 press foo\n", "script:3: unknown key 'foo'"},
        {"# c\n1 jump\n", "script:2: unknown command 'jump'"},
        {"1 Press a\n", "script:1: unknown command 'Press'"},
        {"1 press\n", "script:1: press needs a key"},
        {"1 release\n", "script:1: release needs a key"},
        {"1 mouse 5\n", "script:1: mouse needs X and Y"},
        {"1 shot\n", "script:1: shot needs a file name"},
        {"1 state\n", "script:1: state needs a file name"},
        {"1 focus\n", "script:1: focus needs 'lost' or 'gained'"},
        {"1 focus away\n", "script:1: focus needs 'lost' or 'gained'"},
        {"1 focus lost now\n", "script:1: too many arguments for focus"},
        {"1\n", "script:1: missing command"},
        {"1 mouse 10 20 30\n", "script:1: too many arguments for mouse"},
        {"1 end now\n", "script:1: too many arguments for end"},
        {"1 press a b\n", "script:1: too many arguments for press"}};
    for (const auto& [text, message] : exact) EXPECT_EQ(ParseError(text), message) << text;
    const std::pair<const char*, const char*> prefix[] = {
        {"x press a\n", "script:1: bad frame"}, {"-1 press a\n", "script:1: bad frame"},
        {"1.5 end\n", "script:1: bad frame"},   {"1 mouse 10 y\n", "script:1: bad mouse position"},
        // Equal frames keep their order; a smaller one is an error.
        {"5 press a\n5 release a\n4 press b\n", "script:3: "}};
    for (const auto& [text, message] : prefix) EXPECT_EQ(ParseError(text).rfind(message, 0), 0u) << text;
}
