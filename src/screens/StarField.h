#pragma once
#include <cstdint>

// The menu's moving star field: stars stream outward from a vanishing point,
// nearer stars brighter.
class StarField {
public:
    static constexpr int kStars = 1000;
    void Init();
    void Frame();  // draws into the back buffer

    float x[kStars] = {};
    float y[kStars] = {};
    float z[kStars] = {};
    // Palette index per depth band, nearest first; stars beyond the last band
    // (a star just placed anew sits at depth 3001) stay invisible.
    uint8_t colours[6] = {255, 219, 106, 72, 32, 0};
};
