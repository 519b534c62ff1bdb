#pragma once
#include <cstdint>

#include "gfx/Font.h"
#include "gfx/PaletteFader.h"
#include "io/MouseCursor.h"
#include "io/SoundBank.h"
#include "net/NetResolver.h"
#include "net/RoomProtocol.h"
#include "platform/NetDefaults.h"
#include "screens/FontPanel.h"
#include "screens/TwoPlayersSheet.h"

// Where two players play, on its own panel, when this game can
// play online: both at this keyboard; through the world server, in a room
// of the player's own (its code read out to the other player), the room of
// a code typed, or the next player waiting (quick match); directly,
// hosting a game on a UDP port, or joining one at an address the player
// types; and the input delay. The
// pointer clicks the entries; the arrow keys pick a row (left and right
// step the port and the delay), Enter chooses it, and the picked field
// takes what is typed. Joining first looks the address up, the screen
// going on meanwhile ("LOOKING UP ..."): a name that cannot be found is
// said here, and the game joins the numeric address found. The port, the
// address and the delay are kept in the settings when a game is hosted or
// joined.
class TwoPlayersScreen : public FontScreen, public TwoPlayersLayout {
public:
    // The rows the arrow keys step through.
    enum Row : int32_t {
        kKeyboardRow,
        kCreateRoomRow,
        kQuickMatchRow,
        kJoinRoomRow,
        kWatchRow,
        kHostRow,
        kJoinRow,
        kDelayRow,
        kBackRow,
        kRowCount
    };
    enum class Choice : uint8_t { None, Keyboard, CreateRoom, QuickMatch, JoinRoom, Watch, Host, Join, Back };
    static constexpr int kNoticeSize = 200;
    static constexpr int kPortDigits = 5;

    // On entering: the port, address and delay the settings keep, the first
    // row picked, nothing said.
    void Arm() override;
    // Draws the screen and answers the pointer and keys; `escDown` is Esc as
    // the game counts it (Esc goes back). Host and Join only with a port and
    // an address that can be used, which `port`, `address` and `delay` then
    // hold (and `joinAt`, the address found for a Join); the rooms only with
    // a world server set, JoinRoom only with a whole code (`roomCode`), and
    // Watch (the game of a room in play) with a world server and a whole
    // code (`watchCode`); a refused one is said on the screen.
    Choice Frame(bool escDown);
    void ShowFrame() override { Frame(false); }
    // The screen is left another way: a lookup still running is given up.
    void Leave() { lookup.Cancel(); }

    static const ScreenBox& EntryBox(int32_t entry) { return kTwoPlayersBoxes.box[entry]; }
    // The picked row has a field that takes what is typed.
    bool Typing() const { return row == kHostRow || row == kJoinRow || row == kJoinRoomRow || row == kWatchRow; }

    uint16_t port = kNetDefaultPort;
    char address[kNetAddressBytes] = {};
    // The address typed, looked up: numeric, with its port.
    char joinAt[kNetAddressTextBytes] = {};
    // The room's code as typed (upper case, letters of the code's alphabet).
    char roomCode[kRoomCodeBytes] = {};
    // The code of the room whose game is to be watched, as roomCode.
    char watchCode[kRoomCodeBytes] = {};
    // The link reaches a room server alone (a browser's): the rooms need no
    // lookup (the link knows its server), and HOST and JOIN say they cannot.
    bool roomsOnly = false;
    // A room's server, the world table's, looked up: numeric, and its port.
    char roomServer[kNetHostNameBytes] = {};
    uint16_t roomPort = 0;
    // What the running lookup is for: Join, or one of the rooms.
    Choice lookingUp = Choice::None;
    NetResolver lookup;
    int32_t delay = kDefaultInputDelay;
    char portText[kPortDigits + 1] = {};
    int32_t row = kKeyboardRow;
    int32_t hovered = -1;
    // A refusal or a failed save, as the player reads it ("" none).
    char notice[kNoticeSize] = {};
    uint8_t keysBefore[256] = {};
    uint8_t buttonWasDown = 0;
    uint8_t escWasDown = 0;
    int32_t backspaceHeld = 0;
    int32_t blink = 0;

private:
    Choice Choose(int32_t entry);
    Choice ChooseWatch();
    void DrawDirectRows();
    Choice Keys();
    void Type(int code, bool shift);
    void Backspace();
    void StepPort(int32_t step);
    void StepDelay(int32_t step);
    bool ReadPort();
    bool Keep(bool keepPort, bool keepAddress);
    Choice LookUpRoomServer(Choice room, const char* what);
    Choice LookedUp();
    void DrawEntry(int32_t entry, const char* text, Font& font);
    void DrawField(int32_t entry, const char* text, bool typing);
};
