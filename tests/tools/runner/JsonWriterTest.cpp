#include <gtest/gtest.h>

#include <limits>

#include "JsonWriter.h"

TEST(JsonEscape, OutputIsPlainAscii) {
    EXPECT_EQ(JsonWriter::Escape("HELLO world 123 !#/~"), "HELLO world 123 !#/~");
    EXPECT_EQ(JsonWriter::Escape("a\"b c:\\x"), "a\\\"b c:\\\\x");
    EXPECT_EQ(JsonWriter::Escape("\n\r\t\b\f"), "\\n\\r\\t\\b\\f");
    EXPECT_EQ(JsonWriter::Escape(std::string("\x01\x1f\0\x7f", 4)), "\\u0001\\u001f\\u0000\\u007f");
    // Bytes above 127 are Latin-1 characters.
    EXPECT_EQ(JsonWriter::Escape("\xe5\x80\xff"), "\\u00e5\\u0080\\u00ff");
}

TEST(JsonWriter, LayoutOfNestedContainers) {
    JsonWriter w;
    w.BeginObject();
    w.Field("frame", 12);
    w.Field("on", true);
    w.Field("k\xe9y", "A\"B");
    w.BeginObject("cursor");
    w.Field("x", -3);
    w.EndObject();
    w.BeginArray("list");
    w.Value(0);
    w.Value(2.5);
    w.Value(0.02f);  // every digit a 32-bit float needs
    w.Value(std::numeric_limits<double>::quiet_NaN());
    w.Null();
    w.Value(static_cast<int64_t>(4294967296LL));
    w.EndArray();
    w.BeginArray("none");
    w.EndArray();
    w.BeginArray("worms");
    w.BeginObject();
    w.Field("len", 3);
    w.EndObject();
    w.BeginObject();
    w.EndObject();
    w.BeginArray();
    w.Value(1);
    w.EndArray();
    w.EndArray();
    EXPECT_FALSE(w.Complete());
    w.EndObject();
    EXPECT_TRUE(w.Complete());
    EXPECT_EQ(w.Text(),
              "{\n"
              "  \"frame\": 12,\n"
              "  \"on\": true,\n"
              "  \"k\\u00e9y\": \"A\\\"B\",\n"
              "  \"cursor\": {\n"
              "    \"x\": -3\n"
              "  },\n"
              "  \"list\": [0, 2.5, 0.0199999996, null, null, 4294967296],\n"
              "  \"none\": [],\n"
              "  \"worms\": [\n"
              "    {\n"
              "      \"len\": 3\n"
              "    },\n"
              "    {},\n"
              "    [1]\n"
              "  ]\n"
              "}\n");
    EXPECT_FALSE(JsonWriter().Complete());
}
