#include "hosts/sdl/SdlPads.h"

#include <cerrno>
#include <cstdio>

#include "platform/GameFile.h"
#include "platform/PrintableText.h"

SdlPads::SdlPads(const PlayKeys& keys, const PadBindings& bindings, bool rumble) : rumble_(rumble) {
    mapper_.SetPlayKeys(keys);
    mapper_.SetBindings(bindings);
}

void SdlPads::Open(const char* mappingFile) {
    // A pad's presses and releases are followed in the background too, so
    // that nothing stays held when the window comes back (play stands still
    // meanwhile anyway).
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        std::fprintf(stderr, "voidcrawl: no gamepads (%s)\n", SDL_GetError());
        return;
    }
    open_ = true;
    if (mappingFile != nullptr && mappingFile[0] != '\0') {
        // The player's own file, when there is one (never a pipe to wait on).
        ReadError why;
        std::FILE* file = OpenRegularFile(mappingFile, &why);
        const bool opened = file != nullptr;
        const bool absent = !opened && errno == ENOENT;
        if (opened) std::fclose(file);
        if (!absent && (!opened || SDL_GameControllerAddMappingsFromFile(mappingFile) < 0)) {
            std::fprintf(stderr, "voidcrawl: %s: %s\n", Printable(mappingFile).c_str(),
                         opened ? SDL_GetError() : why.reason);
        }
    }
    // Pads already plugged in arrive as "added" events.
}

void SdlPads::Close() {
    for (int slot = 0; slot < PadMapper::kPads; ++slot) {
        if (pads_[slot] != nullptr) SDL_GameControllerClose(pads_[slot]);
        pads_[slot] = nullptr;
        ids_[slot] = -1;
        mapper_.Disconnect(slot);
    }
    if (open_) {
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
        open_ = false;
    }
}

int SdlPads::SlotOf(SDL_JoystickID id) const {
    for (int slot = 0; slot < PadMapper::kPads; ++slot) {
        if (pads_[slot] != nullptr && ids_[slot] == id) return slot;
    }
    return -1;
}

bool SdlPads::OnEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_CONTROLLERDEVICEADDED: {
        if (!open_) return true;
        SDL_Joystick* joystick = SDL_JoystickOpen(event.cdevice.which);
        const SDL_JoystickID id = joystick != nullptr ? SDL_JoystickInstanceID(joystick) : -1;
        if (joystick != nullptr) SDL_JoystickClose(joystick);
        if (id < 0 || SlotOf(id) >= 0) return true;  // already ours
        for (int slot = 0; slot < PadMapper::kPads; ++slot) {
            if (pads_[slot] != nullptr) continue;
            pads_[slot] = SDL_GameControllerOpen(event.cdevice.which);
            if (pads_[slot] == nullptr) return true;
            ids_[slot] = id;
            mapper_.Connect(slot);
            return true;
        }
        return true;  // a third pad waits for a free player
    }
    case SDL_CONTROLLERDEVICEREMOVED: {
        const int slot = SlotOf(event.cdevice.which);
        if (slot < 0) return true;
        SDL_GameControllerClose(pads_[slot]);
        pads_[slot] = nullptr;
        ids_[slot] = -1;
        mapper_.Disconnect(slot);
        return true;
    }
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
        mapper_.Button(SlotOf(event.cbutton.which), event.cbutton.button, event.type == SDL_CONTROLLERBUTTONDOWN);
        return true;
    case SDL_CONTROLLERAXISMOTION:
        mapper_.Axis(SlotOf(event.caxis.which), event.caxis.axis, event.caxis.value);
        return true;
    default:
        return false;
    }
}

void SdlPads::Rumble(int player, int strength, int milliseconds) {
    if (!rumble_ || player < 0 || player >= PadMapper::kPads || pads_[player] == nullptr) return;
    const int clamped = strength < 0 ? 0 : (strength > 100 ? 100 : strength);
    const Uint16 power = static_cast<Uint16>(clamped * 0xFFFF / 100);
    // Pads without a motor say so; that is no fault.
    SDL_GameControllerRumble(pads_[player], power, power, static_cast<Uint32>(milliseconds));
}

void SdlPads::SetRumble(bool on) {
    if (!on) {
        for (SDL_GameController* pad : pads_) {
            if (pad != nullptr && rumble_) SDL_GameControllerRumble(pad, 0, 0, 0);
        }
    }
    rumble_ = on;
}
