#include "screens/StarField.h"

#include "gfx/Display.h"
#include "platform/Host.h"
#include "world/Random.h"

void StarField::Init() {
    for (int i = 0; i < kStars; ++i) {
        x[i] = static_cast<float>(Rand() % 4000 - 3000);
        y[i] = static_cast<float>(Rand() % 3000 - 2000);
        z[i] = static_cast<float>(Rand() % 3000 + 1);
    }
}

void StarField::Frame() {
    uint8_t* pixels = LockSurface(backBuffer);
    if (!pixels) return;
    for (int i = 0; i < kStars; ++i) {
        z[i] -= 10.0f;
        if (z[i] < 1.0f) {
            x[i] = static_cast<float>(Rand() % 1280 - 640);
            y[i] = static_cast<float>(2 * (Rand() % 480) - 480);
            z[i] = 3001.0f;
        }
        const float s = 200.0f / z[i];
        const float column = s * x[i] + 480.0f;
        const float row = s * y[i] + 320.0f;
        if (column > 0.0f && column < static_cast<float>(kScreenWidth) && row > 0.0f &&
            row < static_cast<float>(kScreenHeight)) {
            const int band = static_cast<int>(z[i] * 0.002f);
            const uint8_t colour = band >= 0 && band < 6 ? colours[band] : 0;
            pixels[static_cast<int>(row) * kScreenWidth + static_cast<int>(column)] = colour;
        }
    }
    UnlockSurface(backBuffer);
}
