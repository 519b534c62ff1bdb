#pragma once
#include <SDL.h>

#include "platform/PadMapper.h"

// The SDL host's gamepads, through SDL's game controller layer (its own
// mapping database, and the player's gamecontrollerdb.txt in the settings
// folder when there is one). Pads come and go while the game runs: a new pad
// takes the first free player, a pad that goes away frees its player and
// lets go of everything it held.
class SdlPads {
public:
    SdlPads(const PlayKeys& keys, const PadBindings& bindings, bool rumble);
    ~SdlPads() { Close(); }
    SdlPads(const SdlPads&) = delete;
    SdlPads& operator=(const SdlPads&) = delete;

    // Starts SDL's controller layer; without it the game simply has no pads.
    void Open(const char* mappingFile);
    void Close();

    // SDL's controller events; false for events of other kinds.
    bool OnEvent(const SDL_Event& event);
    void Rumble(int player, int strength, int milliseconds);
    // Off stops a shake under way.
    void SetRumble(bool on);

    PadMapper& Mapper() { return mapper_; }

private:
    int SlotOf(SDL_JoystickID id) const;

    PadMapper mapper_;
    bool rumble_;
    bool open_ = false;
    SDL_GameController* pads_[PadMapper::kPads] = {};
    SDL_JoystickID ids_[PadMapper::kPads] = {-1, -1};
};
