#include "screens/OptionsScreen.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "io/Input.h"
#include "io/SoundSlots.h"
#include "platform/Host.h"
#include "platform/KeyNames.h"
#include "screens/NameEntry.h"

namespace {

using Box = OptionsScreen::Box;

const char* const kRowNames[OptionsLayout::kControlRows] = {"LEFT",  "RIGHT", "WARP",  "JUMP",  "BOOST",
                                                            "BRAKE", "START", "PAUSE", "RUMBLE"};
const char* const kActionNames[kPlayKeyCount] = {"LEFT", "RIGHT", "WARP", "JUMP", "BOOST", "BRAKE"};
const char* const kPadActionNames[kPadActionCount] = {"WARP", "JUMP", "BOOST", "BRAKE", "START", "PAUSE"};
// The pad's buttons as the screen names them.
const char* const kPadButtonLabels[kPadButtonCount] = {"A",
                                                       "B",
                                                       "X",
                                                       "Y",
                                                       "BACK",
                                                       "GUIDE",
                                                       "START",
                                                       "LEFT STICK",
                                                       "RIGHT STICK",
                                                       "LEFT SHOULDER",
                                                       "RIGHT SHOULDER",
                                                       "D-PAD UP",
                                                       "D-PAD DOWN",
                                                       "D-PAD LEFT",
                                                       "D-PAD RIGHT"};

const char* PadLabel(int button) { return button >= 0 && button < kPadButtonCount ? kPadButtonLabels[button] : "-"; }

const Settings kDefaultSettings;

const Settings& SettingsNow() {
    Host* host = GetHost();
    return host != nullptr ? host->CurrentSettings() : kDefaultSettings;
}

void CopyNotice(char* notice, const std::string& text) {
    std::snprintf(notice, OptionsScreen::kNoticeSize, "%s", text.c_str());
}

}  // namespace

bool OptionsScreen::InitOnlinePage(const char* backgroundFile) {
    onlineBackground = CreateSurface(kScreenWidth, kScreenHeight, SystemMemory);
    return loader.LoadSurface(backgroundFile, onlineBackground, nullptr);
}

void OptionsScreen::Release() {
    if (onlineBackground != nullptr) ReleaseSurface(onlineBackground);
    onlineBackground = nullptr;
    FontScreen::Release();
}

void OptionsScreen::Arm() {
    page = Page::Controls;
    typing = false;
    backspaceHeld = 0;
    waiting = -1;
    hovered = -1;
    notice[0] = '\0';
    keysChanged = false;
    escWasDown = 1;
    buttonWasDown = 1;
    std::memcpy(keysBefore, KeyState, sizeof keysBefore);
}

bool OptionsScreen::Change(const Settings& next) {
    Host* host = GetHost();
    if (host == nullptr) return false;
    if (std::memcmp(&next.keys, &host->CurrentSettings().keys, sizeof next.keys) != 0) keysChanged = true;
    char reason[kNoticeSize] = {};
    if (host->ChangeSettings(next, reason, sizeof reason)) return true;
    std::snprintf(notice, sizeof notice, "Settings NOT saved: %.170s", reason);
    return false;
}

// A key pressed since the last pass answers the entry waiting for one.
void OptionsScreen::WaitForKey() {
    const int32_t player = (waiting - kFirstKey) / kPlayKeyCount;
    const int32_t action = (waiting - kFirstKey) % kPlayKeyCount;
    for (int code = 1; code < 256; ++code) {
        if (KeyState[code] == 0 || keysBefore[code] != 0 || code == DIK_ESCAPE) continue;
        Settings next = SettingsNow();
        std::string why;
        if (!PlayKeyAllowed(next.keys, player, action, static_cast<uint8_t>(code), &why)) {
            CopyNotice(notice, why);
            sounds->Play(kSoundClickNo, SoundLoop::Once);
            return;  // still waiting: another key may do
        }
        next.keys.code[player][action] = static_cast<uint8_t>(code);
        notice[0] = '\0';
        waiting = -1;
        Change(next);
        sounds->Play(kSoundClick, SoundLoop::Once);
        return;
    }
}

// A pad button pressed since the last pass answers the entry waiting for one.
void OptionsScreen::WaitForPad() {
    Host* host = GetHost();
    const int button = host != nullptr ? host->TakePadButton() : -1;
    if (button < 0 || button >= kPadButtonCount) return;
    const int32_t action = waiting - kFirstPadButton;
    Settings next = SettingsNow();
    for (int other = 0; other < kPadActionCount; ++other) {
        if (other == action || next.pad.button[other] != button) continue;
        std::snprintf(notice, sizeof notice, "%s is the pad's %s already", PadLabel(button), kPadActionNames[other]);
        sounds->Play(kSoundClickNo, SoundLoop::Once);
        return;
    }
    next.pad.button[action] = static_cast<int8_t>(button);
    notice[0] = '\0';
    waiting = -1;
    Change(next);
    sounds->Play(kSoundClick, SoundLoop::Once);
}

void OptionsScreen::Click(int32_t entry) {
    Settings next = SettingsNow();
    notice[0] = '\0';
    sounds->Play(kSoundClick, SoundLoop::Once);
    if (entry >= kFirstKey && entry < kFirstPadButton) {
        waiting = entry;
        return;
    }
    if (entry >= kFirstPadButton && entry < kRumbleEntry) {
        waiting = entry;
        if (Host* host = GetHost()) host->TakePadButton();  // a press from before does not count
        return;
    }
    if (entry >= kPageEntry && entry <= kServerEntry) {
        ClickOnline(entry, next);
        return;
    }
    switch (entry) {
    case kScreenEntry:
        next.fullscreen = next.fullscreen == 0 ? 1 : 0;
        break;
    case kScaleEntry:
        next.scale = next.scale == ScaleMode::Auto      ? ScaleMode::Integer
                     : next.scale == ScaleMode::Integer ? ScaleMode::Fit
                                                        : ScaleMode::Auto;
        break;
    case kWindowEntry: {
        // auto, then each whole factor the screen can take, then auto again;
        // a size dragged by hand goes on to the next factor above it.
        Host* host = GetHost();
        const int32_t largest = host != nullptr ? host->LargestWindowFactor() : 1;
        const int32_t factor = next.window.width == 0 ? 1 : next.window.width / kScreenWidth + 1;
        next.window = factor > largest ? WindowSize{} : WindowSize{kScreenWidth * factor, kScreenHeight * factor};
        break;
    }
    case kVolumeDown:
        next.volume = next.volume > 0 ? (next.volume - 1) / 10 * 10 : 0;
        break;
    case kVolumeUp:
        next.volume = next.volume < 100 ? next.volume / 10 * 10 + 10 : 100;
        break;
    case kMuteEntry:
        next.mute = !next.mute;
        break;
    case kHumEntry:
        next.hum = !next.hum;
        break;
    case kRumbleEntry:
        next.rumble = !next.rumble;
        break;
    case kKeyDefaults1:
    case kKeyDefaults2: {
        const int32_t player = entry - kKeyDefaults1;
        for (int a = 0; a < kPlayKeyCount; ++a) next.keys.code[player][a] = kDefaultPlayKeys.code[player][a];
        for (int a = 0; a < kPlayKeyCount; ++a) {
            std::string why;
            if (PlayKeyAllowed(next.keys, player, a, next.keys.code[player][a], &why)) continue;
            std::snprintf(notice, sizeof notice, "Player %d's own keys: %.150s", player + 1, why.c_str());
            sounds->Play(kSoundClickNo, SoundLoop::Once);
            return;
        }
        break;
    }
    case kPadDefaults:
        next.pad = kDefaultPadBindings;
        next.rumble = true;
        break;
    default:
        return;
    }
    Change(next);
    if (entry == kVolumeDown || entry == kVolumeUp)
        sounds->Play(kSoundTouch, SoundLoop::Once);  // heard at the new volume
    if (entry == kRumbleEntry && next.rumble) {
        if (Host* host = GetHost()) host->Rumble(0, 60, 200);
    }
}

// The page switch, and the ONLINE page's entries.
void OptionsScreen::ClickOnline(int32_t entry, Settings next) {
    if (entry == kPageEntry) {
        page = page == Page::Controls ? Page::Online : Page::Controls;
    } else if (entry == kSendEntry) {
        // The player has chosen: the high-score screen need not ask.
        next.worldSend = !next.worldSend;
        next.worldAsked = true;
        Change(next);
    } else if (entry == kServerEntry) {
        typing = true;
        backspaceHeld = 0;
        std::snprintf(server, sizeof server, "%s", next.worldServer);
    }
}

namespace {

// The character a key types into a server's address: an address's, and '/'.
char ServerChar(int code, bool shift) {
    constexpr int kSlashKey = 0x35, kKeypadSlash = 0xB5;
    if ((code == kSlashKey && !shift) || code == kKeypadSlash) return '/';
    return NameEntry::AddressChar(code, shift);
}

}  // namespace

// A pass of typing the address: Enter keeps it, Esc drops it, Backspace
// deletes (again and again while held).
void OptionsScreen::TypeServer() {
    auto pressed = [&](int code) { return KeyState[code] != 0 && keysBefore[code] == 0; };
    constexpr uint8_t kKeypadEnter = 0x9C;
    constexpr int32_t kRepeatAfter = 40, kRepeatEvery = 5;
    if (pressed(DIK_RETURN) || pressed(kKeypadEnter)) {
        KeepServer();
        return;
    }
    backspaceHeld = KeyState[DIK_BACK] != 0 ? backspaceHeld + 1 : 0;
    const size_t length = std::strlen(server);
    if (length > 0 && (backspaceHeld == 1 || (backspaceHeld > kRepeatAfter && backspaceHeld % kRepeatEvery == 0)))
        server[length - 1] = '\0';
    const bool shift = KeyState[DIK_LSHIFT] != 0 || KeyState[DIK_RSHIFT] != 0;
    for (int code = 2; code < 256; ++code) {
        if (!pressed(code) || code == DIK_BACK || code == DIK_RETURN || code == kKeypadEnter) continue;
        const char c = ServerChar(code, shift);
        const size_t n = std::strlen(server);
        if (c == '\0' || n + 1 >= sizeof server) continue;
        server[n] = c;
        server[n + 1] = '\0';
        notice[0] = '\0';
    }
}

// The address typed becomes the settings' (none when it is empty); one
// the game cannot use is refused, with the reason, and stays to be mended.
void OptionsScreen::KeepServer() {
    const char* why = "";
    if (server[0] != '\0' && !IsWorldAddress(server, &why)) {
        std::snprintf(notice, sizeof notice, "Not an address the game can use: %.150s", why);
        sounds->Play(kSoundClickNo, SoundLoop::Once);
        return;
    }
    typing = false;
    Settings next = SettingsNow();
    std::snprintf(next.worldServer, sizeof next.worldServer, "%s", server);
    notice[0] = '\0';
    sounds->Play(kSoundClick, SoundLoop::Once);
    Change(next);
}

namespace {

// The options screen's panels, drawn from the settings in force; `DrawBox`
// is the screen's own (an entry's box and its text).
template <typename DrawEntry>
struct OptionsPicture : OptionsLayout {
    Font* mediumFont;
    Font* smallFont;
    const DrawEntry& DrawBox;

    // The display and the sound.
    void DrawTopPanels(const Settings& now) const {
        char text[64];
        DrawPanelCaps(*mediumFont, kDisplayPanel.x + kPanelInset + 4, kCaptionY, "DISPLAY", kDisplayPanel.w);
        DrawPanelCaps(*mediumFont, kSoundPanel.x + kPanelInset + 4, kCaptionY, "SOUND", kSoundPanel.w);

        static const char* const kTopLabels[2][kTopRows] = {{"SCREEN", "SCALE", "WINDOW"},
                                                            {"VOLUME", "MUTE", "MENU HUM"}};
        for (int32_t row = 0; row < kTopRows; ++row) {
            const int32_t y = kTopRowY + kTopRowStep * row + 3;
            DrawPanelCaps(*smallFont, kDisplayPanel.x + kPanelInset + 4, y, kTopLabels[0][row], kValueX - kPanelInset);
            DrawPanelCaps(*smallFont, kSoundPanel.x + kPanelInset + 4, y, kTopLabels[1][row], kValueX - kPanelInset);
        }
        DrawBox(kScreenEntry, now.fullscreen == 0 ? "WINDOW" : "FULL SCREEN");
        DrawBox(kScaleEntry, ScaleName(now.scale));
        if (now.window.width == 0)
            std::snprintf(text, sizeof text, "AUTO");
        else
            std::snprintf(text, sizeof text, "%d X %d", now.window.width, now.window.height);
        DrawBox(kWindowEntry, text);

        DrawBox(kVolumeDown, "-");
        DrawBox(kVolumeUp, "+");
        std::snprintf(text, sizeof text, "%d", now.volume);
        DrawPanelCaps(*smallFont, kVolumeNumberX, kVolumeWell.y + 3, text, kVolumeNumberWidth);
        for (int32_t k = 0; k < kBarSegments; ++k) {
            const int32_t left = kBarLeft + kBarStep * k;
            const uint8_t colour =
                now.volume > k * 10 ? (now.mute ? kPanelBarMutedIndex : kPanelBarOnIndex) : kPanelBarOffIndex;
            FillRect(left, kVolumeWell.y + 5, left + kBarStep - 2, kVolumeWell.Bottom() - 5, backBuffer, colour);
        }
        DrawBox(kMuteEntry, now.mute ? "YES" : "NO");
        DrawBox(kHumEntry, now.hum ? "ON" : "OFF");
    }

    // Both players' keys and the gamepad's buttons, with their defaults.
    void DrawControlsPanel(const Settings& now) const {
        static const char* const kColumns[3] = {"PLAYER 1", "PLAYER 2", "GAMEPAD"};
        static const int32_t kColumnX[3] = {kKeyColumnX[0], kKeyColumnX[1], kPadColumnX};
        static const int32_t kColumnWidth[3] = {kKeyColumnWidth, kKeyColumnWidth, kPadColumnWidth};
        for (int32_t c = 0; c < 3; ++c)
            DrawPanelCentred(*mediumFont, Box{kColumnX[c], kHeadingY, kColumnWidth[c], mediumFont->cellHeight},
                             kColumns[c]);
        for (int32_t row = 0; row < kControlRows; ++row) {
            const int32_t y = kControlRowY + kControlRowStep * row;
            DrawPanelCaps(*smallFont, kControlsPanel.x + kPanelInset + 4, y + 3, kRowNames[row],
                          kKeyColumnX[0] - kControlsPanel.x - kPanelInset - 4);
            for (int32_t p = 0; p < 2; ++p) {
                const Box cell{kKeyColumnX[p], y, kKeyColumnWidth, kBoxHeight};
                if (row < kPlayKeyCount)
                    DrawBox(kFirstKey + p * kPlayKeyCount + row, DikKeyName(now.keys.code[p][row]));
                else if (row < kControlRows - 1)
                    DrawPanelCentred(*smallFont, cell, row == kPlayKeyCount ? "SPACE" : "ESC");  // the game's own
            }
            if (row < kPadFirstRow) {
                DrawPanelCentred(*smallFont, Box{kPadColumnX, y, kPadColumnWidth, kBoxHeight}, "STICK OR D-PAD");
            } else if (row < kPadFirstRow + kPadActionCount) {
                DrawBox(kFirstPadButton + row - kPadFirstRow, PadLabel(now.pad.button[row - kPadFirstRow]));
            }
        }
        DrawBox(kRumbleEntry, now.rumble ? "YES" : "NO");
        DrawBox(kKeyDefaults1, "DEFAULTS");
        DrawBox(kKeyDefaults2, "DEFAULTS");
        DrawBox(kPadDefaults, "DEFAULTS");
    }
};

}  // namespace

bool OptionsScreen::Frame(bool escDown) {
    const bool leave = Answer(escDown);
    ++blink;

    // ---- the picture ----
    const Settings& now = SettingsNow();
    if (page == Page::Online) {
        Blit(0, 0, kScreenWidth, kScreenHeight, onlineBackground, 0, 0, backBuffer, BlitKey::Opaque);
        DrawPanelCentred(*bigFont, ScreenBox{kPanelTitlePlate.x, kPanelTitleY, kPanelTitlePlate.w, bigFont->cellHeight},
                         "OPTIONS");
    } else {
        DrawBackground("OPTIONS");
    }
    const auto drawBox = [this](int32_t entry, const char* text) { DrawBox(entry, text); };
    const OptionsPicture<decltype(drawBox)> picture{{}, mediumFont, smallFont, drawBox};
    picture.DrawTopPanels(now);
    if (page == Page::Online)
        DrawOnlinePage(now);
    else
        picture.DrawControlsPanel(now);
    DrawBox(kPageEntry, page == Page::Online ? "CONTROLS" : "ONLINE");
    DrawPanelBox(EntryBox(kBackEntry), hovered == kBackEntry, false, *mediumFont, "BACK");

    char text[64];
    if (waiting >= kFirstKey && waiting < kFirstPadButton)
        std::snprintf(text, sizeof text, "PRESS PLAYER %d'S KEY FOR %s - ESC CANCELS",
                      (waiting - kFirstKey) / kPlayKeyCount + 1, kActionNames[(waiting - kFirstKey) % kPlayKeyCount]);
    else if (WaitingForPad())
        std::snprintf(text, sizeof text, "PRESS THE PAD BUTTON FOR %s - ESC CANCELS",
                      kPadActionNames[waiting - kFirstPadButton]);
    else if (typing)
        std::snprintf(text, sizeof text, "TYPE THE ADDRESS - ENTER KEEPS IT, ESC DROPS IT");
    else
        std::snprintf(text, sizeof text, "CLICK AN ENTRY TO CHANGE IT: EVERY CHANGE IS SAVED AT ONCE");
    const int32_t footX = kPanelFootWell.x + kPanelInset, footWidth = kPanelFootWell.w - 2 * kPanelInset;
    DrawPanelCaps(*smallFont, footX, kPanelFootLineY[0], text, footWidth);
    DrawPanelCaps(*smallFont, footX, kPanelFootLineY[1], notice, footWidth);

    cursor->Update();
    return leave;
}

// The pass's keys and clicks; true when the player goes back to the menu.
bool OptionsScreen::Answer(bool escDown) {
    const bool escPressed = escDown && !escWasDown;
    escWasDown = escDown ? 1 : 0;
    bool leave = false;
    if (typing) {
        if (escPressed) {
            typing = false;
            notice[0] = '\0';
            sounds->Play(kSoundClickNo, SoundLoop::Once);
        } else {
            TypeServer();
        }
    } else if (waiting >= 0) {
        if (escPressed) {
            waiting = -1;
            notice[0] = '\0';
            sounds->Play(kSoundClickNo, SoundLoop::Once);
        } else if (WaitingForPad()) {
            WaitForPad();
        } else {
            WaitForKey();
        }
    } else if (escPressed) {
        leave = true;
    }
    std::memcpy(keysBefore, KeyState, sizeof keysBefore);

    const bool buttonDown = cursor->LeftDown();
    const bool pressBegins = buttonDown && !buttonWasDown;
    buttonWasDown = buttonDown ? 1 : 0;
    int32_t over = -1;
    for (int32_t e = 0; e < kEntryCount; ++e)
        if (OnPage(e, page) && EntryBox(e).Contains(cursor->x, cursor->y)) over = e;
    if (over != hovered && over >= 0) sounds->PlayOverlapped(kSoundTouch);
    hovered = over;
    if (!pressBegins || leave) return leave;
    if (typing && over != kServerEntry) {
        KeepServer();  // a click elsewhere keeps what was typed
        if (typing) return false;
    }
    if (waiting >= 0) {
        waiting = -1;  // a click gives up the wait
        notice[0] = '\0';
        sounds->Play(kSoundClickNo, SoundLoop::Once);
    } else if (over == kBackEntry) {
        sounds->Play(kSoundClick, SoundLoop::Once);
        return true;
    } else if (over >= 0 && !(typing && over == kServerEntry)) {
        Click(over);
    }
    return false;
}

// The world table: sending on or off, the server's address, and what is
// sent.
void OptionsScreen::DrawOnlinePage(const Settings& now) {
    DrawPanelCentred(
        *mediumFont,
        Box{kKeyColumnX[0], kHeadingY, kPadColumnX + kPadColumnWidth - kKeyColumnX[0], mediumFont->cellHeight},
        "THE WORLD TABLE");
    DrawPanelCaps(*smallFont, kOnlineLabelX, kOnlineRowY[0] + 4, "SEND MY FINISHED GAMES TO THE WORLD TABLE",
                  kSendX - kOnlineLabelX - 8);
    DrawBox(kSendEntry, now.worldSend ? "ON" : "OFF");
    DrawPanelCaps(*smallFont, kOnlineLabelX, kOnlineRowY[1] + 4, "SERVER ADDRESS", kServerX - kOnlineLabelX - 8);
    // The address as typed, its end in sight, with the name entry's cursor.
    const Box& field = EntryBox(kServerEntry);
    DrawPanelBox(field, hovered == kServerEntry, typing, *smallFont, "");
    char shown[kWorldAddressBytes + 2];
    if (typing)
        std::snprintf(shown, sizeof shown, "%s%s", server, (blink / 25) % 2 == 0 ? "<" : "");
    else
        std::snprintf(shown, sizeof shown, "%s", now.worldServer[0] != '\0' ? now.worldServer : "NONE: CLICK AND TYPE");
    const char* from = shown;
    while (*from != '\0' && PanelTextWidth(*smallFont, from) > field.w - 10) ++from;
    DrawPanelCaps(*smallFont, field.x + 5, field.y + 4, from, field.w - 6);
    static const char* const kAbout =
        "THE WORLD TABLE KEEPS EVERY PLAYER'S BEST GAMES. WHAT IS SENT: THE REPLAY OF EACH FINISHED GAME - "
        "THE PLAYERS' NAMES AND THE KEYS THEY PRESSED, NOTHING ELSE. THE SERVER PLAYS THE GAME AGAIN AND RANKS "
        "THE SCORE IT REACHES. NOTHING IS SENT WHILE SENDING IS OFF; A GAME THE SERVER CANNOT BE REACHED FOR IS "
        "KEPT AND SENT LATER. THE HIGH-SCORE SCREEN'S WORLD TAB SHOWS THE TABLE.";
    DrawPanelParagraph(*smallFont, kOnlineLabelX, kOnlineAboutY, kControlsPanel.Right() - kOnlineLabelX - 16,
                       kOnlineAboutStep, kAbout);
}

// An entry: lit under the pointer, framed in gold while it waits for a key.
void OptionsScreen::DrawBox(int32_t entry, const char* text) {
    if (waiting == entry) text = (blink / 25) % 2 == 0 ? (WaitingForPad() ? "PRESS A BUTTON" : "PRESS A KEY") : "";
    DrawPanelBox(EntryBox(entry), hovered == entry, waiting == entry, *smallFont, text);
}
