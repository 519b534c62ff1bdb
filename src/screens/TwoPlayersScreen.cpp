#include "screens/TwoPlayersScreen.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "io/Input.h"
#include "io/InputTape.h"
#include "io/SoundSlots.h"
#include "net/NetLink.h"
#include "platform/Host.h"
#include "platform/KeyCodes.h"
#include "platform/WorldLink.h"
#include "screens/NameEntry.h"

namespace {

// A browser plays online through the rooms alone (its link has no UDP).
constexpr const char* kRoomsOnlyNotice =
    "A browser plays online through rooms only: CREATE, QUICK MATCH or JOIN A ROOM";
constexpr const char* kHostJoinAbout = "HOST AND JOIN GO DIRECT: THE HOST'S UDP PORT MUST BE OPEN TO THE JOINER.";
constexpr const char* kRoomsOnlyAbout = "HOST AND JOIN NEED UDP, WHICH A BROWSER LACKS: IT PLAYS THROUGH ROOMS.";

// Backspace held this many passes deletes again every kRepeatEvery.
constexpr int32_t kRepeatAfter = 40, kRepeatEvery = 5;
constexpr uint8_t kKeypadEnter = 0x9C;

// The row each entry belongs to.
using S = TwoPlayersScreen;
constexpr int32_t kEntryRow[S::kEntryCount] = {S::kKeyboardRow, S::kCreateRoomRow, S::kQuickMatchRow, S::kJoinRoomRow,
                                               S::kJoinRoomRow, S::kWatchRow,      S::kWatchRow,      S::kHostRow,
                                               S::kHostRow,     S::kHostRow,       S::kHostRow,       S::kJoinRow,
                                               S::kJoinRow,     S::kDelayRow,      S::kDelayRow,      S::kBackRow};

// What Enter on a row chooses (-1: nothing).
constexpr int32_t kRowEntry[S::kRowCount] = {
    S::kKeyboardEntry, S::kCreateRoomEntry, S::kQuickMatchEntry, S::kJoinRoomEntry,
    S::kWatchEntry,    S::kHostEntry,       S::kJoinEntry,       -1,
    S::kBackEntry};
static_assert(S::kEntryCount == 16 && S::kRowCount == 9, "each entry has its row");

}  // namespace

void TwoPlayersScreen::Arm() {
    Host* host = GetHost();
    const Settings kept = host != nullptr ? host->CurrentSettings() : Settings();
    port = kept.onlinePort >= 1 && kept.onlinePort <= 65535 ? static_cast<uint16_t>(kept.onlinePort) : kNetDefaultPort;
    std::snprintf(portText, sizeof portText, "%u", static_cast<unsigned>(port));
    std::snprintf(address, sizeof address, "%s", kept.onlineAddress);
    delay = kept.inputDelay >= 0 && kept.inputDelay <= kMaxInputDelay ? kept.inputDelay : kDefaultInputDelay;
    row = kKeyboardRow;
    hovered = -1;
    notice[0] = '\0';
    joinAt[0] = '\0';
    roomCode[0] = '\0';
    watchCode[0] = '\0';
    lookup.Cancel();
    escWasDown = 1;
    buttonWasDown = 1;
    backspaceHeld = 0;
    std::memcpy(keysBefore, KeyState, sizeof keysBefore);
}

// The port as typed, when it is one (1 to 65535).
bool TwoPlayersScreen::ReadPort() {
    uint32_t value = 0;
    for (const char* d = portText; *d != '\0'; ++d) value = value * 10 + static_cast<uint32_t>(*d - '0');
    if (portText[0] == '\0' || value < 1 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

void TwoPlayersScreen::StepPort(int32_t step) {
    const int32_t from = ReadPort() ? port : kNetDefaultPort;
    const int32_t to = from + step < 1 ? 1 : (from + step > 65535 ? 65535 : from + step);
    port = static_cast<uint16_t>(to);
    std::snprintf(portText, sizeof portText, "%u", static_cast<unsigned>(port));
    notice[0] = '\0';
}

void TwoPlayersScreen::StepDelay(int32_t step) {
    const int32_t to = delay + step;
    if (to < 0 || to > kMaxInputDelay) {
        sounds->Play(kSoundClickNo, SoundLoop::Once);
        return;
    }
    delay = to;
    notice[0] = '\0';
    Keep(false, false);
}

// Keeps the delay, and the port or the address, in the settings file.
bool TwoPlayersScreen::Keep(bool keepPort, bool keepAddress) {
    Host* host = GetHost();
    if (host == nullptr) return true;
    Settings next = host->CurrentSettings();
    next.inputDelay = delay;
    if (keepPort) next.onlinePort = port;
    if (keepAddress) std::snprintf(next.onlineAddress, sizeof next.onlineAddress, "%s", address);
    char reason[kNoticeSize] = {};
    if (host->ChangeSettings(next, reason, sizeof reason)) return true;
    std::snprintf(notice, sizeof notice, "Settings NOT saved: %.150s", reason);
    return false;
}

void TwoPlayersScreen::Type(int code, bool shift) {
    if (row == kHostRow) {
        const size_t length = std::strlen(portText);
        const uint8_t c = NameEntry::kKeyTable[code];
        const char digit = c >= '0' && c <= '9' ? static_cast<char>(c) : NameEntry::AddressChar(code, false);
        if (digit < '0' || digit > '9' || length >= static_cast<size_t>(kPortDigits)) return;
        portText[length] = digit;
        portText[length + 1] = '\0';
    } else if (row == kJoinRoomRow || row == kWatchRow) {
        // A code's letters only, upper case: the others are not in any code.
        char* const field = row == kWatchRow ? watchCode : roomCode;
        const size_t length = std::strlen(field);
        const uint8_t c = NameEntry::kKeyTable[code];
        const char letter = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        if (letter < 'A' || letter > 'Z' || std::strchr(kRoomCodeLetters, letter) == nullptr ||
            length >= kRoomCodeLength) {
            sounds->Play(kSoundClickNo, SoundLoop::Once);
            return;
        }
        field[length] = letter;
        field[length + 1] = '\0';
    } else if (row == kJoinRow) {
        const size_t length = std::strlen(address);
        const char c = NameEntry::AddressChar(code, shift);
        if (c == '\0' || length + 1 >= sizeof address) return;
        address[length] = c;
        address[length + 1] = '\0';
        lookup.Cancel();  // the name looked up is no longer the one typed
    } else {
        return;
    }
    notice[0] = '\0';
}

void TwoPlayersScreen::Backspace() {
    char* text = row == kHostRow       ? portText
                 : row == kJoinRow     ? address
                 : row == kJoinRoomRow ? roomCode
                 : row == kWatchRow    ? watchCode
                                       : nullptr;
    if (text == nullptr || text[0] == '\0') return;
    text[std::strlen(text) - 1] = '\0';
    if (text == address) lookup.Cancel();
    notice[0] = '\0';
}

// The rooms meet through the world table's server: its name is looked up
// first (the screen goes on), and LookedUp chooses the room once it is
// found. Without a server set, the choice is refused and the player told
// where to set it.
TwoPlayersScreen::Choice TwoPlayersScreen::LookUpRoomServer(Choice room, const char* what) {
    if (roomsOnly) {
        lookup.Cancel();
        roomServer[0] = '\0';
        roomPort = 0;
        if (!Keep(false, false)) {
            sounds->Play(kSoundClickNo, SoundLoop::Once);
            return Choice::None;
        }
        notice[0] = '\0';
        sounds->Play(kSoundClick, SoundLoop::Once);
        return room;
    }
    Host* host = GetHost();
    const char* server = host != nullptr ? host->CurrentSettings().worldServer : "";
    char name[kNetHostNameBytes];
    const char* why = "";
    if (server[0] == '\0') {
        std::snprintf(notice, sizeof notice, "Cannot %s: no world server is set (OPTIONS, ONLINE)", what);
    } else if (!WorldAddressHost(server, name, sizeof name, &roomPort, &why)) {
        std::snprintf(notice, sizeof notice, "Cannot %s: the world server's address: %.120s", what, why);
    } else {
        // An IPv6 address goes in brackets before its port.
        char address[kNetHostNameBytes + 16];
        std::snprintf(address, sizeof address, std::strchr(name, ':') != nullptr ? "[%s]:%u" : "%s:%u", name,
                      static_cast<unsigned>(roomPort));
        if (lookup.Start(address)) {
            lookingUp = room;
            notice[0] = '\0';
            sounds->Play(kSoundClick, SoundLoop::Once);
            return Choice::None;
        }
        std::snprintf(notice, sizeof notice, "Cannot %s: %.150s", what, lookup.Failure());
    }
    sounds->Play(kSoundClickNo, SoundLoop::Once);
    return Choice::None;
}

TwoPlayersScreen::Choice TwoPlayersScreen::ChooseWatch() {
    // (The world link reaches the server itself: nothing is looked up. A
    // browser's knows its own server, the page's, as its rooms do: no
    // setting is needed there.)
    lookup.Cancel();
    Host* host = GetHost();
    if (host == nullptr || (!roomsOnly && host->CurrentSettings().worldServer[0] == '\0')) {
        std::snprintf(notice, sizeof notice, "Cannot watch: no world server is set (OPTIONS, ONLINE)");
    } else if (!IsRoomCode(watchCode)) {
        std::snprintf(notice, sizeof notice, "Cannot watch: a room's code is %d letters",
                      static_cast<int>(kRoomCodeLength));
    } else {
        std::snprintf(notice, sizeof notice, "LOOKING FOR THE GAME OF ROOM %s...", watchCode);
        sounds->Play(kSoundClick, SoundLoop::Once);
        return Choice::Watch;
    }
    sounds->Play(kSoundClickNo, SoundLoop::Once);  // refused, and said why
    return Choice::None;
}

TwoPlayersScreen::Choice TwoPlayersScreen::Choose(int32_t entry) {
    if (entry < 0) return Choice::None;
    row = kEntryRow[entry];
    if (roomsOnly && (entry == kHostEntry || entry == kJoinEntry)) {
        lookup.Cancel();
        std::snprintf(notice, sizeof notice, "%s", kRoomsOnlyNotice);
        sounds->Play(kSoundClickNo, SoundLoop::Once);
        return Choice::None;
    }
    switch (entry) {
    case kKeyboardEntry:
        lookup.Cancel();
        sounds->Play(kSoundClick, SoundLoop::Once);
        return Choice::Keyboard;
    case kBackEntry:
        lookup.Cancel();
        sounds->Play(kSoundClick, SoundLoop::Once);
        return Choice::Back;
    case kCreateRoomEntry:
        return LookUpRoomServer(Choice::CreateRoom, "create a room");
    case kQuickMatchEntry:
        return LookUpRoomServer(Choice::QuickMatch, "quick match");
    case kJoinRoomEntry:
        if (!IsRoomCode(roomCode)) {
            lookup.Cancel();
            std::snprintf(notice, sizeof notice, "Cannot join: a room's code is %d letters",
                          static_cast<int>(kRoomCodeLength));
            break;
        }
        return LookUpRoomServer(Choice::JoinRoom, "join a room");
    case kWatchEntry:
        return ChooseWatch();
    case kHostEntry:
        lookup.Cancel();
        if (!ReadPort()) {
            std::snprintf(notice, sizeof notice, "Cannot host: the port must be 1 to 65535");
            break;
        }
        if (!Keep(true, false)) break;
        sounds->Play(kSoundClick, SoundLoop::Once);
        return Choice::Host;
    case kJoinEntry:
        // The name is looked up first; LookedUp joins when it is found.
        joinAt[0] = '\0';
        lookingUp = Choice::Join;
        if (!lookup.Start(address)) {
            std::snprintf(notice, sizeof notice, "Cannot join: %.180s", lookup.Failure());
            break;
        }
        notice[0] = '\0';
        sounds->Play(kSoundClick, SoundLoop::Once);
        return Choice::None;
    case kPortDown:
    case kPortUp:
        StepPort(entry == kPortUp ? 1 : -1);
        sounds->Play(kSoundClick, SoundLoop::Once);
        return Choice::None;
    case kDelayDown:
    case kDelayUp:
        sounds->Play(kSoundClick, SoundLoop::Once);
        StepDelay(entry == kDelayUp ? 1 : -1);
        return Choice::None;
    default:  // a field: it takes what is typed
        sounds->Play(kSoundClick, SoundLoop::Once);
        return Choice::None;
    }
    sounds->Play(kSoundClickNo, SoundLoop::Once);  // refused, and said why
    return Choice::None;
}

// A frame of the lookup JOIN started: Join once the address is found (and
// kept), the failure said when it is not.
TwoPlayersScreen::Choice TwoPlayersScreen::LookedUp() {
    const NetResolver::State was = lookup.GetState();
    const NetResolver::State now = lookup.Poll();
    if (was != NetResolver::State::Running || now == was) return Choice::None;
    if (now == NetResolver::State::Failed) {
        if (lookingUp == Choice::Join)
            std::snprintf(notice, sizeof notice, "Cannot join: %.180s", lookup.Failure());
        else
            std::snprintf(notice, sizeof notice, "Cannot reach the world server: %.160s", lookup.Failure());
        sounds->Play(kSoundClickNo, SoundLoop::Once);
        return Choice::None;
    }
    if (lookingUp != Choice::Join) {
        const char* why = "";
        if (!ParseNetAddress(lookup.Numeric(), roomServer, sizeof roomServer, &roomPort, &why)) {
            std::snprintf(notice, sizeof notice, "Cannot reach the world server: %.160s", why);
            return Choice::None;
        }
        if (!Keep(false, false)) return Choice::None;
        return lookingUp;
    }
    if (!Keep(false, true)) return Choice::None;
    std::snprintf(joinAt, sizeof joinAt, "%s", lookup.Numeric());
    return Choice::Join;
}

TwoPlayersScreen::Choice TwoPlayersScreen::Keys() {
    auto pressed = [&](int code) { return KeyState[code] != 0 && keysBefore[code] == 0; };
    Choice choice = Choice::None;
    const int32_t rowWas = row;
    if (pressed(DIK_UP) && row > 0) --row;
    if (pressed(DIK_DOWN) && row < kRowCount - 1) ++row;
    if (row != rowWas) sounds->PlayOverlapped(kSoundTouch);
    for (const auto& [code, step] : {std::pair{DIK_LEFT, -1}, std::pair{DIK_RIGHT, 1}}) {
        if (!pressed(code)) continue;
        if (row == kHostRow) StepPort(step);
        if (row == kDelayRow) StepDelay(step);
    }
    if (pressed(DIK_RETURN) || pressed(kKeypadEnter)) choice = Choose(kRowEntry[row]);
    backspaceHeld = KeyState[DIK_BACK] != 0 ? backspaceHeld + 1 : 0;
    if (backspaceHeld == 1 || (backspaceHeld > kRepeatAfter && backspaceHeld % kRepeatEvery == 0)) Backspace();
    const bool shift = KeyState[DIK_LSHIFT] != 0 || KeyState[DIK_RSHIFT] != 0;
    for (int code = 2; code < 0x80; ++code)  // what types: the main block and the keypad
        if (pressed(code) && code != DIK_BACK && code != DIK_RETURN) Type(code, shift);
    return choice;
}

// The rows that host or join an address, without the server, and the input
// delay they share with the rooms.
void TwoPlayersScreen::DrawDirectRows() {
    char text[64];
    DrawPanelCaps(*smallFont, kChoiceX, kHostY - kCaptionRise,
                  roomsOnly ? "NOT IN A BROWSER: IT HAS NO UDP" : "OR DIRECTLY, WITHOUT THE SERVER:", kChoiceWidth);
    DrawEntry(kHostEntry, "HOST AN ONLINE GAME", *mediumFont);
    DrawPanelCaps(*smallFont, kValueX, kHostY - kCaptionRise, "UDP PORT", kValueRight - kValueX);
    DrawEntry(kPortDown, "-", *smallFont);
    DrawField(kPortField, portText, row == kHostRow);
    DrawEntry(kPortUp, "+", *smallFont);

    DrawEntry(kJoinEntry, "JOIN AN ONLINE GAME", *mediumFont);
    DrawPanelCaps(*smallFont, kValueX, kJoinY - kCaptionRise, "ADDRESS: HOST OR HOST:PORT", kValueRight - kValueX);
    DrawField(kAddressField, address[0] != '\0' || row == kJoinRow ? address : "CLICK AND TYPE", row == kJoinRow);

    DrawPanelBox(kDelayLabel, row == kDelayRow, false, *mediumFont, "INPUT DELAY");
    DrawEntry(kDelayDown, "-", *smallFont);
    if (delay == 0)
        std::snprintf(text, sizeof text, "KEYS ACT AT ONCE");
    else
        std::snprintf(text, sizeof text, "KEYS %d MS LATE", static_cast<int>(delay * static_cast<int32_t>(kPassMs)));
    DrawPanelCentred(*smallFont, kDelayValue, text);
    DrawEntry(kDelayUp, "+", *smallFont);
}

TwoPlayersScreen::Choice TwoPlayersScreen::Frame(bool escDown) {
    const bool escPressed = escDown && !escWasDown;
    escWasDown = escDown ? 1 : 0;
    Choice choice = escPressed ? Choice::Back : Keys();
    if (choice == Choice::None) choice = LookedUp();
    if (choice == Choice::Back) lookup.Cancel();
    std::memcpy(keysBefore, KeyState, sizeof keysBefore);

    const bool buttonDown = cursor->LeftDown();
    const bool pressBegins = buttonDown && !buttonWasDown;
    buttonWasDown = buttonDown ? 1 : 0;
    int32_t over = -1;
    for (int32_t e = 0; e < kEntryCount; ++e)
        if (EntryBox(e).Contains(cursor->x, cursor->y)) over = e;
    if (over != hovered && over >= 0) sounds->PlayOverlapped(kSoundTouch);
    hovered = over;
    if (pressBegins && choice == Choice::None && over >= 0) choice = Choose(over);
    ++blink;

    // ---- the picture ----
    DrawBackground("TWO PLAYERS");
    const int32_t panelWidth = kValueRight - kChoiceX;

    DrawEntry(kKeyboardEntry, "ON THIS KEYBOARD", *mediumFont);
    DrawPanelCaps(*smallFont, kChoiceX, kHintY, "BOTH PLAYERS AT THIS MACHINE, EACH WITH OWN KEYS OR PAD", panelWidth);

    DrawEntry(kCreateRoomEntry, "CREATE A ROOM", *mediumFont);
    DrawEntry(kQuickMatchEntry, "QUICK MATCH", *mediumFont);
    DrawEntry(kJoinRoomEntry, "JOIN A ROOM", *mediumFont);
    DrawField(kCodeField, roomCode[0] != '\0' || row == kJoinRoomRow ? roomCode : "ITS CODE: CLICK AND TYPE",
              row == kJoinRoomRow);

    DrawEntry(kWatchEntry, "WATCH A GAME", *mediumFont);
    DrawField(kWatchCodeField, watchCode[0] != '\0' || row == kWatchRow ? watchCode : "ITS ROOM'S CODE",
              row == kWatchRow);

    DrawDirectRows();
    char text[64];

    static const char* const kAbout[kAboutLines] = {
        "ROOMS MEET THROUGH THE WORLD SERVER, BEHIND ANY ROUTER: READ YOUR ROOM'S CODE",
        "TO THE OTHER PLAYER (OR TO WATCHERS), OR QUICK MATCH WHOEVER WAITS AT YOURS.", kHostJoinAbout,
        "THE DIFFICULTY OF WHO MADE THE GAME HOLDS; EACH STEERS WITH PLAYER 1'S KEYS.",
        "INPUT DELAY: EVERY KEY ACTS THIS LATE ONLINE; BOTH GAMES USE THE LONGER."};
    for (int32_t i = 0; i < kAboutLines; ++i)
        DrawPanelCaps(*smallFont, kChoiceX, kAboutY + kAboutStep * i,
                      roomsOnly && kAbout[i] == kHostJoinAbout ? kRoomsOnlyAbout : kAbout[i], panelWidth);

    DrawEntry(kBackEntry, "BACK", *mediumFont);
    const int32_t footX = kPanelFootWell.x + kPanelInset, footWidth = kPanelFootWell.w - 2 * kPanelInset;
    DrawPanelCaps(*smallFont, footX, kPanelFootLineY[0], "UP/DOWN PICK, ENTER CHOOSES, LEFT/RIGHT CHANGE, ESC BACK",
                  footWidth);
    if (lookup.GetState() == NetResolver::State::Running) {
        if (lookingUp == Choice::Join)
            std::snprintf(text, sizeof text, "LOOKING UP %.40s...", lookup.Name());
        else
            std::snprintf(text, sizeof text, "LOOKING UP THE WORLD SERVER %.30s...", lookup.Name());
        DrawPanelCaps(*smallFont, footX, kPanelFootLineY[1], text, footWidth);
    } else {
        DrawPanelCaps(*smallFont, footX, kPanelFootLineY[1], notice, footWidth);
    }

    cursor->Update();
    return choice;
}

// An entry over its well, lit under the pointer and on the picked row;
// what Enter chooses there has its frame doubled.
void TwoPlayersScreen::DrawEntry(int32_t entry, const char* text, Font& font) {
    const ScreenBox& b = EntryBox(entry);
    DrawPanelBox(b, hovered == entry || kEntryRow[entry] == row, false, font, text);
    if (kRowEntry[row] == entry) DrawEntryFrame(b, kPanelLitIndex, kEntryRim);
}

// A field as typed, its end in sight; framed in gold, with the name
// entry's cursor blinking, while it takes the keys.
void TwoPlayersScreen::DrawField(int32_t entry, const char* text, bool typing) {
    const ScreenBox& b = EntryBox(entry);
    DrawPanelBox(b, hovered == entry, typing, *smallFont, "");
    char shown[kNetAddressBytes + 2];
    std::snprintf(shown, sizeof shown, "%s%s", text, typing && (blink / 25) % 2 == 0 ? "<" : "");
    const char* from = shown;
    while (*from != '\0' && PanelTextWidth(*smallFont, from) > b.w - 10) ++from;
    DrawPanelCaps(*smallFont, b.x + 5, b.y + (b.h - smallFont->cellHeight + 2) / 2 + 1, from, b.w - 6);
}
