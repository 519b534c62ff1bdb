// Each type of setting's value: how the file spells it, how it is read,
// and what it may not be.
#include <strings.h>

#include <cstring>

#include "platform/KeyNames.h"
#include "platform/PrintableText.h"
#include "platform/Settings.h"

namespace {

// The largest port number, and the most digits a number in the file has.
constexpr int kMaxPort = 65535;
constexpr size_t kMaxNumberDigits = 5;
constexpr int kMaxVolume = 100;

// Keys the game itself answers to while playing, or the window's own, and
// what each does there (as a player reads it).
struct ReservedKey {
    uint8_t code;
    const char* use;
};
constexpr ReservedKey kReservedKeys[] = {{0x01 /* Esc */, "the menu and the EXIT box"},
                                         {0x02 /* 1 */, "saving a picture of the screen"},
                                         {0x15 /* Y */, "answering EXIT Y/N"},
                                         {0x31 /* N */, "answering EXIT Y/N"},
                                         {0x39 /* Space */, "starting each life"},
                                         {0x57 /* F11 */, "switching to full screen"},
                                         {0x58 /* F12 */, "screenshots"}};

// What the game keeps `code` for, or nullptr when it keeps it for nothing.
const char* ReservedUse(uint8_t code) {
    for (const ReservedKey& reserved : kReservedKeys) {
        if (code == reserved.code) return reserved.use;
    }
    return nullptr;
}

bool Reserved(uint8_t code) { return ReservedUse(code) != nullptr; }

bool Same(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

bool ReadSwitch(const std::string& value, bool* out) {
    for (const char* yes : {"yes", "true", "on", "1"}) {
        if (Same(value, yes)) return *out = true, true;
    }
    for (const char* no : {"no", "false", "off", "0"}) {
        if (Same(value, no)) return *out = false, true;
    }
    return false;
}

// A whole number of at most five digits, from `min` to `max`.
bool ReadNumber(const std::string& value, int min, int max, int* out) {
    if (value.empty() || value.size() > kMaxNumberDigits) return false;
    int number = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    if (number < min || number > max) return false;
    *out = number;
    return true;
}

// Printable ASCII in quotes, or bare, with no quote inside and room for
// its terminating zero in `size` bytes.
bool ReadText(const std::string& value, char* out, size_t size) {
    size_t begin = 0, end = value.size();
    if (!value.empty() && value[0] == '"') {
        if (value.size() < 2 || value.back() != '"') return false;
        ++begin;
        --end;
    }
    if (end - begin >= size) return false;
    for (size_t i = begin; i < end; ++i)
        if (value[i] < ' ' || value[i] > '~' || value[i] == '"') return false;
    std::memcpy(out, value.data() + begin, end - begin);
    out[end - begin] = '\0';
    return true;
}

// A server's address in quotes (or bare): empty, or one IsWorldAddress takes.
bool ReadUrl(const std::string& value, char* out) {
    char text[kWorldAddressBytes];
    if (!ReadText(value, text, sizeof text)) return false;
    if (text[0] != '\0' && !IsWorldAddress(text, nullptr)) return false;
    std::memcpy(out, text, sizeof text);
    return true;
}

// "auto", or a width and a height: "1280x960" ('x' or 'X', spaces allowed around it).
bool ReadWindow(const std::string& value, WindowSize* out) {
    if (Same(value, "auto")) return *out = WindowSize{}, true;
    const size_t x = value.find_first_of("xX");
    if (x == std::string::npos) return false;
    std::string width = value.substr(0, x);
    std::string height = value.substr(x + 1);
    for (std::string* side : {&width, &height}) {
        size_t begin = 0;
        size_t end = side->size();
        TrimIniSpan(side->c_str(), &begin, &end);
        *side = side->substr(begin, end - begin);
    }
    WindowSize size;
    if (!ReadNumber(width, kMinWindowWidth, kMaxWindowSide, &size.width) ||
        !ReadNumber(height, kMinWindowHeight, kMaxWindowSide, &size.height)) {
        return false;
    }
    *out = size;
    return true;
}

bool ReadScale(const std::string& value, ScaleMode* out) {
    for (const ScaleMode mode : {ScaleMode::Auto, ScaleMode::Integer, ScaleMode::Fit}) {
        if (Same(value, ScaleName(mode))) return *out = mode, true;
    }
    return false;
}

// A key by name; a key the game keeps for itself cannot steer.
bool ReadKey(const std::string& value, uint8_t* out, std::string* why) {
    const std::string quoted = PrintableQuoted(value);
    const uint8_t code = DikFromKeyName(value.c_str());
    if (code == 0) return *why = "no key is called " + quoted, false;
    if (Reserved(code)) return *why = quoted + " is the game's own key and cannot steer", false;
    *out = code;
    return true;
}

bool ReadPadButton(const std::string& value, int8_t* out, std::string* why) {
    const int button = PadButtonFromName(value.c_str());
    if (button < 0) return *why = "no gamepad button is called " + PrintableQuoted(value), false;
    *out = static_cast<int8_t>(button);
    return true;
}

// The value of a type whose refusal says what the type takes; false when
// `value` is not one.
bool ReadPlainValue(SettingType type, const std::string& value, void* field) {
    switch (type) {
    case SettingType::Screen: {
        bool on = false;
        if (!ReadSwitch(value, &on)) return false;
        *static_cast<int*>(field) = on ? 1 : 0;
        return true;
    }
    case SettingType::Switch:
        return ReadSwitch(value, static_cast<bool*>(field));
    case SettingType::Scale:
        return ReadScale(value, static_cast<ScaleMode*>(field));
    case SettingType::Window:
        return ReadWindow(value, static_cast<WindowSize*>(field));
    case SettingType::Volume:
        return ReadNumber(value, 0, kMaxVolume, static_cast<int*>(field));
    case SettingType::Port:
        return ReadNumber(value, 1, kMaxPort, static_cast<int*>(field));
    case SettingType::Delay:
        return ReadNumber(value, 0, kMaxInputDelay, static_cast<int*>(field));
    case SettingType::Text:
        return ReadText(value, static_cast<char*>(field), kNetAddressBytes);
    case SettingType::Url:
        return ReadUrl(value, static_cast<char*>(field));
    case SettingType::Key:
    case SettingType::PadButton:
        break;
    }
    return false;
}

}  // namespace

const char* SettingValues(SettingType type) {
    switch (type) {
    case SettingType::Screen:
    case SettingType::Switch:
        return "yes or no";
    case SettingType::Scale:
        return "auto, integer or fit";
    case SettingType::Window:
        return "auto or a size such as 1280x960";
    case SettingType::Volume:
        return "0 to 100";
    case SettingType::Key:
        return "a key name";
    case SettingType::PadButton:
        return "a button name";
    case SettingType::Port:
        return "1 to 65535";
    case SettingType::Delay:
        return "0 to 4";
    case SettingType::Text:
        return "text in quotes";
    case SettingType::Url:
        return "an http:// or https:// address in quotes";
    }
    return "";
}

bool ReadSettingValue(const SettingInfo& setting, const std::string& value, Settings* settings, std::string* why) {
    void* field = setting.field(*settings);
    if (setting.type == SettingType::Key) return ReadKey(value, static_cast<uint8_t*>(field), why);
    if (setting.type == SettingType::PadButton) return ReadPadButton(value, static_cast<int8_t*>(field), why);
    if (ReadPlainValue(setting.type, value, field)) return true;
    *why = std::string(setting.name) + " must be " + SettingValues(setting.type) + ", not " + PrintableQuoted(value);
    if (setting.type == SettingType::Text)
        *why += " (printable, at most " + std::to_string(kNetAddressBytes - 1) + " characters)";
    if (setting.type == SettingType::Url)
        *why += " (printable, no spaces, at most " + std::to_string(kWorldAddressBytes - 1) + " characters)";
    return false;
}

std::string SettingValueText(const SettingInfo& setting, const Settings& settings) {
    Settings copy = settings;
    const void* field = setting.field(copy);
    switch (setting.type) {
    case SettingType::Screen: {
        const int on = *static_cast<const int*>(field);
        return on < 0 ? "" : on ? "yes" : "no";
    }
    case SettingType::Switch:
        return *static_cast<const bool*>(field) ? "yes" : "no";
    case SettingType::Scale:
        return ScaleName(*static_cast<const ScaleMode*>(field));
    case SettingType::Window: {
        const WindowSize& size = *static_cast<const WindowSize*>(field);
        if (size.width <= 0 || size.height <= 0) return "auto";
        return std::to_string(size.width) + "x" + std::to_string(size.height);
    }
    case SettingType::Volume:
    case SettingType::Port:
    case SettingType::Delay:
        return std::to_string(*static_cast<const int*>(field));
    case SettingType::Key:
        return DikKeyName(*static_cast<const uint8_t*>(field));
    case SettingType::PadButton:
        return PadButtonName(*static_cast<const int8_t*>(field));
    case SettingType::Text:
    case SettingType::Url:
        return std::string("\"") + static_cast<const char*>(field) + "\"";
    }
    return "";
}

bool PlayKeyAllowed(const PlayKeys& keys, int player, int action, uint8_t code, std::string* why) {
    static const char* const kActionNames[kPlayKeyCount] = {"left", "right", "warp", "jump", "boost", "brake"};
    const std::string name = std::string("\"") + DikKeyName(code) + "\"";
    if (code == 0 || DikKeyName(code)[0] == '\0') return *why = "that key has no name here", false;
    if (Reserved(code)) return *why = name + " cannot steer: the game keeps it for " + ReservedUse(code), false;
    for (int p = 0; p < 2; ++p) {
        for (int a = 0; a < kPlayKeyCount; ++a) {
            if ((p == player && a == action) || keys.code[p][a] != code) continue;
            *why = name + " is player " + std::to_string(p + 1) + "'s " + kActionNames[a];
            return false;
        }
    }
    return true;
}
