#include "JsonWriter.h"

#include <cassert>
#include <cmath>
#include <cstdio>

std::string JsonWriter::Escape(const std::string& s) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(s.size() + 2);
    for (char ch : s) {
        unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c > 0x7E) {
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

void JsonWriter::Newline(size_t depth) {
    out_ += '\n';
    out_.append(depth * 2, ' ');
}

void JsonWriter::Key(const char* key) {
    assert(!stack_.empty() && !stack_.back().isArray && !keyPending_);
    Level& level = stack_.back();
    if (level.count > 0) out_ += ',';
    Newline(stack_.size());
    out_ += '"';
    out_ += Escape(key);
    out_ += "\": ";
    ++level.count;
    keyPending_ = true;
}

void JsonWriter::BeforeValue() {
    if (stack_.empty()) {
        assert(!started_);
        started_ = true;
        return;
    }
    if (keyPending_) {
        keyPending_ = false;
        return;
    }
    Level& level = stack_.back();
    assert(level.isArray);
    if (level.count > 0) out_ += level.multiLine ? "," : ", ";
    if (level.multiLine) Newline(stack_.size());
    ++level.count;
}

void JsonWriter::Open(char bracket, bool isArray) {
    // A container inside an array puts that array's elements on lines of
    // their own from here on.
    if (!stack_.empty() && !keyPending_ && stack_.back().isArray && !stack_.back().multiLine) {
        Level& parent = stack_.back();
        parent.multiLine = true;
        if (parent.count > 0) out_ += ',';
        Newline(stack_.size());
        ++parent.count;
    } else {
        BeforeValue();
    }
    out_ += bracket;
    stack_.push_back(Level{isArray, 0, false});
}

void JsonWriter::Close(char bracket, bool isArray) {
    assert(!stack_.empty() && stack_.back().isArray == isArray && !keyPending_);
    Level level = stack_.back();
    stack_.pop_back();
    if ((!isArray && level.count > 0) || (isArray && level.multiLine)) Newline(stack_.size());
    out_ += bracket;
    if (stack_.empty()) out_ += '\n';
}

void JsonWriter::BeginObject() { Open('{', false); }
void JsonWriter::BeginObject(const char* key) {
    Key(key);
    Open('{', false);
}
void JsonWriter::EndObject() { Close('}', false); }
void JsonWriter::BeginArray() { Open('[', true); }
void JsonWriter::BeginArray(const char* key) {
    Key(key);
    Open('[', true);
}
void JsonWriter::EndArray() { Close(']', true); }

void JsonWriter::Value(int64_t v) {
    BeforeValue();
    out_ += std::to_string(v);
    if (stack_.empty()) out_ += '\n';
}

void JsonWriter::Value(double v) {
    BeforeValue();
    if (std::isfinite(v)) {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%.9g", v);
        out_ += buffer;
    } else {
        out_ += "null";
    }
    if (stack_.empty()) out_ += '\n';
}

void JsonWriter::Value(bool v) {
    BeforeValue();
    out_ += v ? "true" : "false";
    if (stack_.empty()) out_ += '\n';
}

void JsonWriter::Value(const std::string& v) {
    BeforeValue();
    out_ += '"';
    out_ += Escape(v);
    out_ += '"';
    if (stack_.empty()) out_ += '\n';
}

void JsonWriter::Value(const char* v) { Value(std::string(v)); }

void JsonWriter::Null() {
    BeforeValue();
    out_ += "null";
    if (stack_.empty()) out_ += '\n';
}
