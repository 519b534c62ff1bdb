#include "Script.h"

#include "platform/PadMapper.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

struct NamedKey {
    const char* name;
    int code;
};

// DirectInput scan codes of the keys a script can name.
const NamedKey kNamedKeys[] = {
    {"esc", 0x01},    {"enter", 0x1C},  {"space", 0x39},          {"backspace", 0x0E}, {"left", 0xCB},
    {"right", 0xCD},  {"up", 0xC8},     {"down", 0xD0},           {"lctrl", 0x1D},     {"rctrl", 0x9D},
    {"lshift", 0x2A}, {"rshift", 0x36}, {"lmb", kMouseButtonKey},
};

// Scan codes of the letters a..z.
const int kLetterCodes[26] = {
    0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,  // a..m
    0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C,  // n..z
};

std::string Lower(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Whole-string integer parse with range check.
bool ParseInt(const std::string& s, int base, long long lo, long long hi, long long* out) {
    if (s.empty()) return false;
    const char* begin = s.c_str();
    if (std::isspace(static_cast<unsigned char>(*begin))) return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(begin, &end, base);
    if (errno != 0 || end == begin || *end != '\0') return false;
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

// Splits a line into whitespace-separated words; a word starting with '#'
// begins a comment that runs to the end of the line.
std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string word;
    while (in >> word) {
        if (word[0] == '#') break;
        words.push_back(word);
    }
    return words;
}

std::string LineError(int line, const std::string& message) {
    return "script:" + std::to_string(line) + ": " + message;
}

}  // namespace

int ParseKeyName(const std::string& name) {
    std::string key = Lower(name);
    if (key.size() > 2 && key[0] == '0' && key[1] == 'x') {
        std::string digits = key.substr(2);
        for (char c : digits)
            if (!std::isxdigit(static_cast<unsigned char>(c))) return -1;
        long long code = 0;
        if (!ParseInt(digits, 16, 1, 0xFF, &code)) return -1;
        return static_cast<int>(code);
    }
    if (key.size() == 1) {
        char c = key[0];
        if (c >= 'a' && c <= 'z') return kLetterCodes[c - 'a'];
        if (c >= '1' && c <= '9') return 0x02 + (c - '1');
        if (c == '0') return 0x0B;
        return -1;
    }
    for (const NamedKey& k : kNamedKeys)
        if (key == k.name) return k.code;
    return -1;
}

bool ParseScript(const std::string& text, std::vector<ScriptCommand>* commands, std::string* error) {
    commands->clear();
    std::istringstream in(text);
    std::string rawLine;
    int lineNumber = 0;
    int64_t lastFrame = 0;
    while (std::getline(in, rawLine)) {
        ++lineNumber;
        if (!rawLine.empty() && rawLine.back() == '\r') rawLine.pop_back();
        std::vector<std::string> words = SplitWords(rawLine);
        if (words.empty()) continue;

        ScriptCommand cmd;
        cmd.line = lineNumber;
        long long frame = 0;
        if (!ParseInt(words[0], 10, 0, INT64_MAX, &frame)) {
            *error = LineError(lineNumber, "bad frame number '" + words[0] + "'");
            return false;
        }
        if (frame < lastFrame) {
            *error = LineError(lineNumber,
                               "frame " + std::to_string(frame) + " comes after frame " + std::to_string(lastFrame));
            return false;
        }
        cmd.frame = frame;
        if (words.size() < 2) {
            *error = LineError(lineNumber, "missing command");
            return false;
        }
        const std::string& name = words[1];
        const size_t argCount = words.size() - 2;
        size_t wanted = 0;
        if (name == "press" || name == "release") {
            cmd.op = name == "press" ? ScriptOp::Press : ScriptOp::Release;
            wanted = 1;
            if (argCount == 0) {
                *error = LineError(lineNumber, name + " needs a key");
                return false;
            }
            cmd.key = ParseKeyName(words[2]);
            if (cmd.key < 0) {
                *error = LineError(lineNumber, "unknown key '" + words[2] + "'");
                return false;
            }
        } else if (name == "mouse") {
            cmd.op = ScriptOp::Mouse;
            wanted = 2;
            if (argCount < 2) {
                *error = LineError(lineNumber, "mouse needs X and Y");
                return false;
            }
            long long x = 0, y = 0;
            if (!ParseInt(words[2], 10, -100000, 100000, &x) || !ParseInt(words[3], 10, -100000, 100000, &y)) {
                *error = LineError(lineNumber, "bad mouse position '" + words[2] + " " + words[3] + "'");
                return false;
            }
            cmd.x = static_cast<int>(x);
            cmd.y = static_cast<int>(y);
        } else if (name == "focus") {
            cmd.op = ScriptOp::Focus;
            wanted = 1;
            if (argCount == 0 || (words[2] != "lost" && words[2] != "gained")) {
                *error = LineError(lineNumber, "focus needs 'lost' or 'gained'");
                return false;
            }
            cmd.focused = words[2] == "gained";
        } else if (name == "pad") {
            cmd.op = ScriptOp::Pad;
            long long pad = 0;
            if (argCount < 2 || !ParseInt(words[2], 10, 1, 2, &pad)) {
                *error = LineError(lineNumber, "pad needs a pad number (1 or 2) and what it does");
                return false;
            }
            cmd.pad = static_cast<int>(pad) - 1;
            const std::string& what = words[3];
            if (what == "plug" || what == "unplug") {
                cmd.padEvent = what == "plug" ? ScriptCommand::PadEvent::Plug : ScriptCommand::PadEvent::Unplug;
                wanted = 2;
            } else if (what == "axis") {
                cmd.padEvent = ScriptCommand::PadEvent::Axis;
                wanted = 4;
                long long value = 0;
                if (argCount < 4 || (cmd.padIndex = PadAxisFromName(words[4].c_str())) < 0 ||
                    !ParseInt(words[5], 10, -32768, 32767, &value)) {
                    *error = LineError(lineNumber,
                                       "pad axis needs an axis name (leftx, lefty, ...) and a value -32768..32767");
                    return false;
                }
                cmd.padValue = static_cast<int>(value);
            } else {
                cmd.padEvent = ScriptCommand::PadEvent::Button;
                wanted = 3;
                cmd.padIndex = PadButtonFromName(what.c_str());
                if (cmd.padIndex < 0 || argCount < 3 || (words[4] != "press" && words[4] != "release")) {
                    *error = LineError(lineNumber, "pad needs a button (a, b, dpup, ...) and press or release");
                    return false;
                }
                cmd.padValue = words[4] == "press" ? 1 : 0;
            }
        } else if (name == "shot" || name == "state" || name == "settings") {
            cmd.op = name == "shot" ? ScriptOp::Shot : name == "state" ? ScriptOp::State : ScriptOp::Settings;
            wanted = 1;
            if (argCount == 0) {
                *error = LineError(lineNumber, name + " needs a file name");
                return false;
            }
            cmd.path = words[2];
        } else if (name == "end") {
            cmd.op = ScriptOp::End;
            wanted = 0;
        } else {
            *error = LineError(lineNumber, "unknown command '" + name + "'");
            return false;
        }
        if (argCount > wanted) {
            *error = LineError(lineNumber, "too many arguments for " + name);
            return false;
        }
        lastFrame = cmd.frame;
        commands->push_back(cmd);
    }
    return true;
}

bool LoadScript(const std::string& path, std::vector<ScriptCommand>* commands, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "script: cannot read '" + path + "'";
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return ParseScript(text.str(), commands, error);
}
