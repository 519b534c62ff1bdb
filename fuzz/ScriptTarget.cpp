// The runner's scripts: ParseScript and ParseKeyName.
//
// Rules checked:
//   - a refused script says "script:LINE: ..." with a line that exists and
//     returns no commands worth keeping;
//   - an accepted script has frames that never go back, keys that are scan
//     codes (1..255) or the mouse button, file names for shot and state, and
//     line numbers that rise;
//   - writing the commands out again and parsing that gives the same
//     commands: nothing in a script is misread (a focus change included);
//   - every word that ParseKeyName accepts names a key it accepts again in
//     its canonical form.

#include <cstdio>
#include <string>
#include <vector>

#include "FuzzTargets.h"
#include "Script.h"

namespace {

// The command as a script line; empty for a command this target cannot
// write back, whose script then skips the round trip.
std::string Write(const ScriptCommand& c) {
    std::string s = std::to_string(c.frame) + " ";
    char hex[8];
    switch (c.op) {
    case ScriptOp::Press:
    case ScriptOp::Release:
        if (c.key == kMouseButtonKey) {
            std::snprintf(hex, sizeof hex, "lmb");
        } else {
            std::snprintf(hex, sizeof hex, "0x%02x", c.key);
        }
        return s + (c.op == ScriptOp::Press ? "press " : "release ") + hex;
    case ScriptOp::Mouse:
        return s + "mouse " + std::to_string(c.x) + " " + std::to_string(c.y);
    case ScriptOp::Shot:
        return s + "shot " + c.path;
    case ScriptOp::State:
        return s + "state " + c.path;
    case ScriptOp::Focus:
        return s + "focus " + (c.focused ? "gained" : "lost");
    case ScriptOp::End:
        return s + "end";
    default:
        return std::string();
    }
}

bool Same(const ScriptCommand& a, const ScriptCommand& b) {
    return a.frame == b.frame && a.op == b.op && a.key == b.key && a.x == b.x && a.y == b.y && a.path == b.path &&
           a.focused == b.focused;
}

}  // namespace

int FuzzScript(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<ScriptCommand> commands;
    std::string error;
    if (!ParseScript(text, &commands, &error)) {
        FUZZ_CHECK(error.rfind("script:", 0) == 0);
        const size_t lineEnd = error.find(':', 7);
        FUZZ_CHECK(lineEnd != std::string::npos && lineEnd > 7);
        const long line = std::stol(error.substr(7, lineEnd - 7));
        long lines = 1;
        for (char c : text) lines += c == '\n';
        FUZZ_CHECK(line >= 1 && line <= lines);
    } else {
        int64_t lastFrame = 0;
        int lastLine = 0;
        std::string again;
        bool writable = true;
        for (const ScriptCommand& c : commands) {
            FUZZ_CHECK(c.frame >= lastFrame);
            FUZZ_CHECK(c.line > lastLine);
            lastFrame = c.frame;
            lastLine = c.line;
            if (c.op == ScriptOp::Press || c.op == ScriptOp::Release)
                FUZZ_CHECK((c.key >= 1 && c.key <= 0xFF) || c.key == kMouseButtonKey);
            if (c.op == ScriptOp::Mouse) FUZZ_CHECK(c.x >= -100000 && c.x <= 100000 && c.y >= -100000 && c.y <= 100000);
            if (c.op == ScriptOp::Shot || c.op == ScriptOp::State) {
                FUZZ_CHECK(!c.path.empty() && c.path[0] != '#');
                for (char ch : c.path) FUZZ_CHECK(ch != ' ' && ch != '\n' && ch != '\t');
            }
            const std::string line = Write(c);
            writable = writable && !line.empty();
            again += line + "\n";
        }
        std::vector<ScriptCommand> reparsed;
        std::string error2;
        if (writable) {
            FUZZ_CHECK(ParseScript(again, &reparsed, &error2));
            FUZZ_CHECK(reparsed.size() == commands.size());
            for (size_t i = 0; i < commands.size(); ++i) FUZZ_CHECK(Same(commands[i], reparsed[i]));
        }
    }

    // Each whitespace-separated word as a key name.
    size_t at = 0;
    for (int words = 0; words < 64 && at < text.size(); ++words) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\n' || text[at] == '\t')) ++at;
        size_t end = at;
        while (end < text.size() && text[end] != ' ' && text[end] != '\n' && text[end] != '\t') ++end;
        if (end == at) break;
        const int key = ParseKeyName(text.substr(at, end - at));
        FUZZ_CHECK(key == -1 || (key >= 1 && key <= 0xFF) || key == kMouseButtonKey);
        if (key >= 1 && key <= 0xFF) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", key);
            FUZZ_CHECK(ParseKeyName(hex) == key);
        }
        at = end;
    }
    return 0;
}
