#include "screens/NameEntry.h"

#include <array>
#include <cstring>

#include "io/Input.h"

namespace {

constexpr uint8_t kEnter = 28;
constexpr uint8_t kBackspace = 14;
constexpr uint8_t kSpace = 57;

constexpr std::array<uint8_t, 256> BuildKeyTable() {
    std::array<uint8_t, 256> table{};
    for (auto& c : table) c = ' ';
    table[0] = table[1] = 0;
    const char digits[] = "1234567890";
    for (int i = 0; i < 10; ++i) table[2 + i] = static_cast<uint8_t>(digits[i]);
    table[12] = '-';
    table[13] = '=';
    const char top[] = "QWERTYUIOP";
    for (int i = 0; i < 10; ++i) table[16 + i] = static_cast<uint8_t>(top[i]);
    table[26] = 0xC5;  // the two keys right of P
    table[27] = 0xC2;
    const char middle[] = "ASDFGHJKL";
    for (int i = 0; i < 9; ++i) table[30 + i] = static_cast<uint8_t>(middle[i]);
    table[39] = 0xD6;  // the two keys right of L
    table[40] = 0xC4;
    table[43] = '<';
    const char bottom[] = "ZXCVBNM";
    for (int i = 0; i < 7; ++i) table[44 + i] = static_cast<uint8_t>(bottom[i]);
    table[51] = ',';
    table[52] = '.';
    table[53] = '*';
    table[253] = table[254] = table[255] = 0;
    return table;
}

constexpr std::array<uint8_t, 256> kTable = BuildKeyTable();

}  // namespace

const uint8_t* const NameEntry::kKeyTable = kTable.data();

void NameEntry::Init(Font* f, Surface d, int32_t px, int32_t py, int32_t maxLen, int32_t maxPixels) {
    font = f;
    dest = d;
    x = px;
    y = py;
    // The text buffer bounds every limit, whatever the caller asks for.
    maxLength = maxLen < kTextSize - 2 ? maxLen : kTextSize - 2;
    maxPixelWidth = maxPixels;
    keyLatched = 0;
    lastKey = 0;
    length = 0;
    blink = 0;
    std::memset(text, 0, sizeof text);
    text[0] = '<';
}

const char* NameEntry::Typed() {
    std::memcpy(typed_, text, sizeof typed_);
    if (length >= 0 && length < kTextSize) typed_[length] = 0;
    typed_[kTextSize - 1] = 0;
    return typed_;
}

const char* NameEntry::Update() {
    ReadKeyboard();
    if (!keyLatched) {
        // Modifiers are never the field's key: the letter typed with Shift
        // (or Ctrl, Alt, a lock or system key) held is the one that counts.
        for (int code = 0; code <= 254; ++code)
            if (KeyState[code] && !IsModifierKey(code)) lastKey = code;
        if (lastKey != 0) {
            if (lastKey == kEnter) {
                keyLatched = 1;
                text[length] = 0;
                return text;
            }
            if (lastKey == kBackspace && length > 0) {
                text[length] = 0;
                --length;
                text[length] = '<';
                keyLatched = 1;
            } else if (length >= 0 && length < maxLength && font->cellWidth * length < maxPixelWidth) {
                const uint8_t c = kKeyTable[lastKey];
                if (lastKey == kSpace || c != ' ') {
                    text[length] = static_cast<char>(c);
                    ++length;
                    text[length] = '<';
                }
                keyLatched = 1;
            }
        }
    }
    if (lastKey >= 0 && lastKey < 256 && !KeyState[lastKey]) {
        keyLatched = 0;
        lastKey = 0;
    }
    if (blink < 20) {
        text[length] = blink < 10 ? 0 : '<';
        ++blink;
    } else {
        blink = 0;
    }
    font->DrawText(dest, x, y, text, TextExtent::Whole);
    return nullptr;
}

namespace {
// The keys right of P, which type an IPv6 address's brackets.
constexpr int kLeftBracketKey = 0x1A, kRightBracketKey = 0x1B;
}  // namespace

// The character a key types into an address ('\0' none): the name entry's
// letters (in small letters), digits, '-' and '.', the keypad's digits and
// '.', ':' (the key right of L, or Shift and '.'), '_' (Shift and '-') and
// the brackets around an IPv6 address.
char NameEntry::AddressChar(int code, bool shift) {
    static const char kKeypad[] = "789-456+1230.";  // 0x47 .. 0x53
    if (code == 0x27 || (code == 0x34 && shift)) return ':';
    if (code == 0x0C && shift) return '_';
    if (code == kLeftBracketKey) return '[';
    if (code == kRightBracketKey) return ']';
    if (code >= 0x47 && code <= 0x53) {
        const char c = kKeypad[code - 0x47];
        return c == '+' || c == '-' ? '\0' : c;
    }
    const uint8_t c = kKeyTable[code];
    if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
    if ((c >= '0' && c <= '9') || c == '-' || c == '.') return static_cast<char>(c);
    return '\0';
}
