#include "hosts/web/WebPads.h"

#include <emscripten.h>

namespace {

// What the page reports of a pad: its buttons' pressed flags in the
// standard layout's order, then its four axes and its two triggers (-32767..
// 32767, triggers 0..32767).
constexpr int kStandardButtons = 17;
constexpr int kStandardAxes = 6;
constexpr int kPerPad = kStandardButtons + kStandardAxes;
static_assert(kStandardAxes == kPadAxisCount, "the page reports the axes in the game's order");

// The standard layout's button for each of the game's (SDL's order).
constexpr int kFromStandard[kPadButtonCount] = {
    0,   // A
    1,   // B
    2,   // X
    3,   // Y
    8,   // back (select)
    16,  // guide (home)
    9,   // start
    10,  // left stick pressed
    11,  // right stick pressed
    4,   // left shoulder
    5,   // right shoulder
    12,  // D-pad up
    13,  // D-pad down
    14,  // D-pad left
    15,  // D-pad right
};

// The bodies of EM_JS are JavaScript, which the C++ formatter would break.
// clang-format off
// Fills `out` with `kPerPad` numbers for each of `slots` players' pads;
// returns a bit for each player with a pad. A pad keeps its player while it
// stays connected; a new one takes the first free player.
EM_JS(int, WebReadPads, (int* out, int slots, int perPad), {
    const pads = navigator.getGamepads ? navigator.getGamepads() : null;
    const held = Module.vcPadSlots || (Module.vcPadSlots = [-1, -1]);
    let present = 0;
    if (!pads) return 0;
    for (let s = 0; s < slots; s++) {
        const pad = held[s] >= 0 ? pads[held[s]] : null;
        if (!pad || !pad.connected) held[s] = -1;
    }
    for (let i = 0; i < pads.length; i++) {
        const pad = pads[i];
        if (!pad || !pad.connected || pad.mapping !== 'standard' || held.indexOf(pad.index) >= 0) continue;
        const free = held.indexOf(-1);
        if (free < 0 || free >= slots) break;
        held[free] = pad.index;
    }
    for (let s = 0; s < slots; s++) {
        if (held[s] < 0) continue;
        const pad = pads[held[s]];
        const at = (out >> 2) + s * perPad;
        const buttons = pad.buttons;
        for (let b = 0; b < 17; b++) HEAP32[at + b] = b < buttons.length && buttons[b].pressed ? 1 : 0;
        for (let a = 0; a < 4; a++) {
            const value = a < pad.axes.length ? pad.axes[a] : 0;
            HEAP32[at + 17 + a] = Math.round(Math.max(-1, Math.min(1, value)) * 32767);
        }
        for (let t = 0; t < 2; t++) {
            const value = buttons.length > 6 + t ? buttons[6 + t].value : 0;
            HEAP32[at + 21 + t] = Math.round(Math.max(0, Math.min(1, value)) * 32767);
        }
        present |= 1 << s;
    }
    return present;
});

EM_JS(void, WebRumblePad, (int slot, double strength, int milliseconds), {
    const held = Module.vcPadSlots;
    const pads = held && held[slot] >= 0 && navigator.getGamepads ? navigator.getGamepads() : null;
    const pad = pads ? pads[held[slot]] : null;
    if (!pad || !pad.vibrationActuator || !pad.vibrationActuator.playEffect) return;
    pad.vibrationActuator.playEffect('dual-rumble', {
        duration: milliseconds, strongMagnitude: strength, weakMagnitude: strength
    }).catch(() => {});
});
// clang-format on

int raw[PadMapper::kPads][kPerPad];

}  // namespace

WebPads::WebPads(const PlayKeys& keys, const PadBindings& bindings) {
    mapper_.SetPlayKeys(keys);
    mapper_.SetBindings(bindings);
}

void WebPads::Poll() {
    const int present = WebReadPads(&raw[0][0], PadMapper::kPads, kPerPad);
    for (int slot = 0; slot < PadMapper::kPads; ++slot) {
        const bool here = (present & (1 << slot)) != 0;
        if (!here) {
            if (mapper_.Connected(slot)) mapper_.Disconnect(slot);
            continue;
        }
        if (!mapper_.Connected(slot)) mapper_.Connect(slot);
        const int* pad = raw[slot];
        for (int button = 0; button < kPadButtonCount; ++button)
            mapper_.Button(slot, button, pad[kFromStandard[button]] != 0);
        for (int axis = 0; axis < kPadAxisCount; ++axis) mapper_.Axis(slot, axis, pad[kStandardButtons + axis]);
    }
    mapper_.Tick();
}

void WebPads::Rumble(int player, int strength, int milliseconds) {
    if (player < 0 || player >= PadMapper::kPads || !mapper_.Connected(player)) return;
    const int clamped = strength < 0 ? 0 : (strength > 100 ? 100 : strength);
    WebRumblePad(player, clamped / 100.0, milliseconds);
}
