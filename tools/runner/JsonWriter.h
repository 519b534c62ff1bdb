#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A small streaming JSON writer. Objects are printed one member a line,
// indented by two spaces; arrays of plain values stay on one line.
//
//   JsonWriter w;
//   w.BeginObject();
//   w.Field("frame", 12);
//   w.BeginObject("cursor"); w.Field("x", 3); w.Field("y", 4); w.EndObject();
//   w.BeginArray("soundsStarted"); w.Value(0); w.EndArray();
//   w.EndObject();
//   std::string text = w.Text();
//
// Strings are treated as bytes: control characters and bytes above 127 are
// written as \u00XX escapes, so the output is always plain ASCII.
class JsonWriter {
public:
    void BeginObject();
    void BeginObject(const char* key);
    void EndObject();
    void BeginArray();
    void BeginArray(const char* key);
    void EndArray();

    // Array elements (or the top-level value).
    void Value(int64_t v);
    void Value(int v) { Value(static_cast<int64_t>(v)); }
    void Value(uint32_t v) { Value(static_cast<int64_t>(v)); }
    void Value(double v);  // NaN and infinities are written as null
    void Value(bool v);
    void Value(const std::string& v);
    void Value(const char* v);
    void Null();

    // Object members.
    template <typename T>
    void Field(const char* key, const T& v) {
        Key(key);
        Value(v);
    }
    void NullField(const char* key) {
        Key(key);
        Null();
    }

    // The text written so far, with a final newline once the top-level value
    // is complete.
    const std::string& Text() const { return out_; }
    // True once every object and array opened has been closed.
    bool Complete() const { return stack_.empty() && started_; }

    static std::string Escape(const std::string& s);

private:
    struct Level {
        bool isArray;
        int count;  // members or elements written so far
        bool multiLine;
    };
    void Key(const char* key);
    void BeforeValue();
    void Open(char bracket, bool isArray);
    void Close(char bracket, bool isArray);
    void Newline(size_t depth);

    std::string out_;
    std::vector<Level> stack_;
    bool keyPending_ = false;
    bool started_ = false;
};
