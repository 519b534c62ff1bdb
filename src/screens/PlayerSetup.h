#pragma once
#include <cstdint>

// Names and ship types handed from the set-up screen to the match. Only the
// entries of players who confirmed are meaningful; ship2 stays 2 ("no ship")
// in a one-player game.
struct PlayerSetup {
    char name1[52] = {};
    int32_t ship1 = 1;
    char name2[52] = {};
    int32_t ship2 = 2;
};
