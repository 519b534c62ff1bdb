#include "platform/KeyNames.h"

#include <strings.h>

#include <cstring>

const KeyInfo kKeys[] = {
    {0x01, 41, "Escape", "Escape"},
    {0x02, 30, "1", "Digit1"},
    {0x03, 31, "2", "Digit2"},
    {0x04, 32, "3", "Digit3"},
    {0x05, 33, "4", "Digit4"},
    {0x06, 34, "5", "Digit5"},
    {0x07, 35, "6", "Digit6"},
    {0x08, 36, "7", "Digit7"},
    {0x09, 37, "8", "Digit8"},
    {0x0A, 38, "9", "Digit9"},
    {0x0B, 39, "0", "Digit0"},
    {0x0C, 45, "-", "Minus"},
    {0x0D, 46, "=", "Equal"},
    {0x0E, 42, "Backspace", "Backspace"},
    {0x0F, 43, "Tab", "Tab"},
    {0x10, 20, "Q", "KeyQ"},
    {0x11, 26, "W", "KeyW"},
    {0x12, 8, "E", "KeyE"},
    {0x13, 21, "R", "KeyR"},
    {0x14, 23, "T", "KeyT"},
    {0x15, 28, "Y", "KeyY"},
    {0x16, 24, "U", "KeyU"},
    {0x17, 12, "I", "KeyI"},
    {0x18, 18, "O", "KeyO"},
    {0x19, 19, "P", "KeyP"},
    {0x1A, 47, "[", "BracketLeft"},
    {0x1B, 48, "]", "BracketRight"},
    {0x1C, 40, "Return", "Enter"},
    {0x1D, 224, "Left Ctrl", "ControlLeft"},
    {0x1E, 4, "A", "KeyA"},
    {0x1F, 22, "S", "KeyS"},
    {0x20, 7, "D", "KeyD"},
    {0x21, 9, "F", "KeyF"},
    {0x22, 10, "G", "KeyG"},
    {0x23, 11, "H", "KeyH"},
    {0x24, 13, "J", "KeyJ"},
    {0x25, 14, "K", "KeyK"},
    {0x26, 15, "L", "KeyL"},
    {0x27, 51, ";", "Semicolon"},
    {0x28, 52, "'", "Quote"},
    {0x29, 53, "`", "Backquote"},
    {0x2A, 225, "Left Shift", "ShiftLeft"},
    {0x2B, 49, "\\", "Backslash"},
    // The ISO key left of Enter reports a position of its own on some systems.
    {0x2B, 50, "#", nullptr},
    // The ISO key left of Z. DirectInput calls it 0x56, but the name entry's
    // key table has no entry there and puts '<' at 0x2B instead; that is the
    // character this key carries on European keyboards, so it shares 0x2B
    // with the backslash key (which does not exist on those keyboards).
    {0x2B, 100, nullptr, "IntlBackslash"},
    {0x2C, 29, "Z", "KeyZ"},
    {0x2D, 27, "X", "KeyX"},
    {0x2E, 6, "C", "KeyC"},
    {0x2F, 25, "V", "KeyV"},
    {0x30, 5, "B", "KeyB"},
    {0x31, 17, "N", "KeyN"},
    {0x32, 16, "M", "KeyM"},
    {0x33, 54, ",", "Comma"},
    {0x34, 55, ".", "Period"},
    {0x35, 56, "/", "Slash"},
    {0x36, 229, "Right Shift", "ShiftRight"},
    {0x37, 85, "Keypad *", "NumpadMultiply"},
    {0x38, 226, "Left Alt", "AltLeft"},
    {0x39, 44, "Space", "Space"},
    {0x3A, 57, "CapsLock", "CapsLock"},
    {0x3B, 58, "F1", "F1"},
    {0x3C, 59, "F2", "F2"},
    {0x3D, 60, "F3", "F3"},
    {0x3E, 61, "F4", "F4"},
    {0x3F, 62, "F5", "F5"},
    {0x40, 63, "F6", "F6"},
    {0x41, 64, "F7", "F7"},
    {0x42, 65, "F8", "F8"},
    {0x43, 66, "F9", "F9"},
    {0x44, 67, "F10", "F10"},
    {0x45, 83, "Numlock", "NumLock"},
    {0x46, 71, "ScrollLock", "ScrollLock"},
    {0x47, 95, "Keypad 7", "Numpad7"},
    {0x48, 96, "Keypad 8", "Numpad8"},
    {0x49, 97, "Keypad 9", "Numpad9"},
    {0x4A, 86, "Keypad -", "NumpadSubtract"},
    {0x4B, 92, "Keypad 4", "Numpad4"},
    {0x4C, 93, "Keypad 5", "Numpad5"},
    {0x4D, 94, "Keypad 6", "Numpad6"},
    {0x4E, 87, "Keypad +", "NumpadAdd"},
    {0x4F, 89, "Keypad 1", "Numpad1"},
    {0x50, 90, "Keypad 2", "Numpad2"},
    {0x51, 91, "Keypad 3", "Numpad3"},
    {0x52, 98, "Keypad 0", "Numpad0"},
    {0x53, 99, "Keypad .", "NumpadDecimal"},
    {0x57, 68, "F11", "F11"},
    {0x58, 69, "F12", "F12"},
    {0x9C, 88, "Keypad Enter", "NumpadEnter"},
    {0x9D, 228, "Right Ctrl", "ControlRight"},
    {0xB5, 84, "Keypad /", "NumpadDivide"},
    {0xB7, 70, "PrintScreen", "PrintScreen"},
    {0xB8, 230, "Right Alt", "AltRight"},
    {0xC5, 72, "Pause", "Pause"},
    {0xC7, 74, "Home", "Home"},
    {0xC8, 82, "Up", "ArrowUp"},
    {0xC9, 75, "PageUp", "PageUp"},
    {0xCB, 80, "Left", "ArrowLeft"},
    {0xCD, 79, "Right", "ArrowRight"},
    {0xCF, 77, "End", "End"},
    {0xD0, 81, "Down", "ArrowDown"},
    {0xD1, 78, "PageDown", "PageDown"},
    {0xD2, 73, "Insert", "Insert"},
    {0xD3, 76, "Delete", "Delete"},
    {0xDB, 227, "Left GUI", "MetaLeft"},
    {0xDC, 231, "Right GUI", "MetaRight"},
    // Older browsers name the system keys "OS".
    {0xDB, 0, nullptr, "OSLeft"},
    {0xDC, 0, nullptr, "OSRight"},
    {0xDD, 101, "Application", "ContextMenu"},
};

const int kKeyCount = static_cast<int>(sizeof kKeys / sizeof kKeys[0]);

namespace {

// The USB positions straight to scan codes, built once from the table.
struct UsbTable {
    uint8_t codes[256] = {};
    UsbTable() {
        for (const KeyInfo& key : kKeys)
            if (key.usb != 0 && codes[key.usb] == 0) codes[key.usb] = key.dik;
    }
};

}  // namespace

uint8_t DikFromUsbPosition(int usb) {
    static const UsbTable table;
    if (usb <= 0 || usb > 255) return 0;
    return table.codes[usb];
}

uint8_t DikFromKeyName(const char* name) {
    if (name == nullptr || name[0] == '\0') return 0;
    for (const KeyInfo& key : kKeys)
        if (key.name != nullptr && strcasecmp(key.name, name) == 0) return key.dik;
    return 0;
}

uint8_t DikFromWebCode(const char* code) {
    if (code == nullptr || code[0] == '\0') return 0;
    for (const KeyInfo& key : kKeys)
        if (key.webCode != nullptr && std::strcmp(key.webCode, code) == 0) return key.dik;
    return 0;
}

const char* DikKeyName(uint8_t dik) {
    if (dik == 0) return "";
    for (const KeyInfo& key : kKeys)
        if (key.dik == dik && key.name != nullptr) return key.name;
    return "";
}
