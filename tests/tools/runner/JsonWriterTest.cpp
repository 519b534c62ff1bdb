#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "JsonWriter.h"

TEST(JsonEscape, PlainTextIsUnchanged) {
    EXPECT_EQ(JsonWriter::Escape("HELLO world 123 !#/~"), "HELLO world 123 !#/~");
    EXPECT_EQ(JsonWriter::Escape(""), "");
}

TEST(JsonEscape, QuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(JsonWriter::Escape("a\"b"), "a\\\"b");
    EXPECT_EQ(JsonWriter::Escape("c:\\x"), "c:\\\\x");
    EXPECT_EQ(JsonWriter::Escape("\n\r\t\b\f"), "\\n\\r\\t\\b\\f");
    EXPECT_EQ(JsonWriter::Escape(std::string("\x01\x1f", 2)), "\\u0001\\u001f");
    EXPECT_EQ(JsonWriter::Escape(std::string("a\0b", 3)), "a\\u0000b");
    EXPECT_EQ(JsonWriter::Escape("\x7f"), "\\u007f");
}

TEST(JsonEscape, HighBytesBecomeLatin1Escapes) {
    EXPECT_EQ(JsonWriter::Escape("\xe5\xe4\xf6"), "\\u00e5\\u00e4\\u00f6");
    EXPECT_EQ(JsonWriter::Escape("\x80\xff"), "\\u0080\\u00ff");
}

TEST(JsonWriter, NestedObjectsAndArrays) {
    JsonWriter w;
    w.BeginObject();
    w.Field("frame", 12);
    w.Field("on", true);
    w.Field("name", "A\"B");
    w.BeginObject("cursor");
    w.Field("x", -3);
    w.Field("y", 4);
    w.EndObject();
    w.BeginArray("list");
    w.Value(0);
    w.Value(24);
    w.EndArray();
    w.BeginArray("none");
    w.EndArray();
    w.BeginObject("empty");
    w.EndObject();
    w.EndObject();
    EXPECT_TRUE(w.Complete());
    EXPECT_EQ(w.Text(),
              "{\n"
              "  \"frame\": 12,\n"
              "  \"on\": true,\n"
              "  \"name\": \"A\\\"B\",\n"
              "  \"cursor\": {\n"
              "    \"x\": -3,\n"
              "    \"y\": 4\n"
              "  },\n"
              "  \"list\": [0, 24],\n"
              "  \"none\": [],\n"
              "  \"empty\": {}\n"
              "}\n");
}

TEST(JsonWriter, ArrayOfObjectsGoesOneElementALine) {
    JsonWriter w;
    w.BeginObject();
    w.BeginArray("worms");
    w.BeginObject();
    w.Field("len", 3);
    w.EndObject();
    w.BeginObject();
    w.Field("len", 5);
    w.EndObject();
    w.EndArray();
    w.EndObject();
    EXPECT_EQ(w.Text(),
              "{\n"
              "  \"worms\": [\n"
              "    {\n"
              "      \"len\": 3\n"
              "    },\n"
              "    {\n"
              "      \"len\": 5\n"
              "    }\n"
              "  ]\n"
              "}\n");
}

TEST(JsonWriter, NestedArraysAndFloats) {
    JsonWriter w;
    w.BeginArray();
    w.BeginArray();
    w.Value(1);
    w.EndArray();
    w.BeginArray();
    w.Value(2.5);
    w.Value(0.02f);
    w.Value(std::numeric_limits<double>::quiet_NaN());
    w.Null();
    w.EndArray();
    w.EndArray();
    EXPECT_TRUE(w.Complete());
    EXPECT_EQ(w.Text(), "[\n  [1],\n  [2.5, 0.0199999996, null, null]\n]\n");
}

TEST(JsonWriter, IncompleteUntilEveryContainerIsClosed) {
    JsonWriter w;
    EXPECT_FALSE(w.Complete());
    w.BeginObject();
    w.BeginArray("a");
    EXPECT_FALSE(w.Complete());
    w.EndArray();
    EXPECT_FALSE(w.Complete());
    w.EndObject();
    EXPECT_TRUE(w.Complete());
}

TEST(JsonWriter, KeysAreEscapedAndLargeNumbersExact) {
    JsonWriter w;
    w.BeginObject();
    w.Field("k\xe9y", static_cast<int64_t>(4294967296LL));
    w.Field("u", static_cast<uint32_t>(4000000000u));
    w.EndObject();
    EXPECT_EQ(w.Text(), "{\n  \"k\\u00e9y\": 4294967296,\n  \"u\": 4000000000\n}\n");
}
