// The runner's script lines and the JSON it writes: a mistake names its line,
// and the JSON stays plain ASCII whatever bytes a name holds.
#include <gtest/gtest.h>

#include <tuple>

#include "JsonWriter.h"
#include "Script.h"

namespace {

TEST(Script, CommandsKeepTheirLinesAndAMistakeNamesItsLine) {
    std::vector<ScriptCommand> cmds;
    std::string error;
    ASSERT_TRUE(ParseScript("# comment\n\n0 press space   # trailing\n  3\tmouse  100 -20\r\n9 end\n", &cmds, &error))
        << error;
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ((std::tuple{cmds[0].key, cmds[1].x, cmds[1].y, cmds[1].line, int(cmds[2].op)}),
              (std::tuple{0x39, 100, -20, 4, int(ScriptOp::End)}));
    const std::pair<const char*, const char*> mistakes[] = {
        {"0 press a\n\n12 press foo\n", "script:3: unknown key 'foo'"},
        {"1 press a b\n", "script:1: too many arguments for press"},
        {"5 press a\n5 release a\n4 press b\n", "script:3: "}};  // equal frames keep their order
    for (const auto& [text, message] : mistakes) {
        EXPECT_FALSE(ParseScript(text, &cmds, &error)) << text;
        EXPECT_EQ(error.rfind(message, 0), 0u) << text << ": " << error;
    }
}

TEST(JsonWriter, EscapesAreAsciiAndBytesAboveSevenBitsAreLatin1) {
    EXPECT_EQ(JsonWriter::Escape("a\"b c:\\x\n\t"), "a\\\"b c:\\\\x\\n\\t");
    EXPECT_EQ(JsonWriter::Escape(std::string("\x01\0\x7f\xe5\xff", 5)), "\\u0001\\u0000\\u007f\\u00e5\\u00ff");
}

}  // namespace
