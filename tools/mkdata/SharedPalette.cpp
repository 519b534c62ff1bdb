#include "Canvas.h"

namespace {

Rgb Mix(Rgb a, Rgb b, float t) {
    auto ch = [t](uint8_t x, uint8_t y) {
        return static_cast<uint8_t>(static_cast<float>(x) + (static_cast<float>(y) - x) * t +  // NOLINT: never negative
                                    0.5f);
    };
    return Rgb{ch(a.r, b.r), ch(a.g, b.g), ch(a.b, b.b)};
}

// Fill `count` entries from `first` along the given colour stops.
void Ramp(Palette& p, int first, int count, const Rgb* stops, int stopCount) {
    for (int i = 0; i < count; ++i) {
        float pos = count == 1 ? 0.f : static_cast<float>(i) * (stopCount - 1) / (count - 1);
        int s = static_cast<int>(pos);
        if (s >= stopCount - 1) s = stopCount - 2;
        p.entries[first + i] = Mix(stops[s], stops[s + 1], pos - s);
    }
}

}  // namespace

Palette SharedPalette() {
    Palette p{};
    const Rgb grey[] = {{14, 16, 22}, {70, 76, 90}, {150, 156, 170}, {236, 240, 248}};
    Ramp(p, ramp::kGrey, 16, grey, 4);
    const Rgb steel[] = {{8, 14, 40}, {30, 60, 130}, {90, 140, 220}, {200, 225, 255}};
    Ramp(p, ramp::kSteel, 16, steel, 4);
    const Rgb cyan[] = {{0, 24, 32}, {0, 110, 140}, {40, 220, 240}, {220, 255, 255}};
    Ramp(p, ramp::kCyan, 16, cyan, 4);
    const Rgb fire[] = {{40, 0, 0}, {170, 20, 0}, {250, 120, 10}, {255, 230, 80}, {255, 255, 235}};
    Ramp(p, ramp::kFire, 16, fire, 5);
    const Rgb gold[] = {{50, 26, 6}, {150, 90, 20}, {235, 180, 50}, {255, 245, 190}};
    Ramp(p, ramp::kGold, 16, gold, 4);
    const Rgb red[] = {{60, 0, 4}, {150, 10, 14}, {235, 40, 30}, {255, 150, 130}};
    Ramp(p, ramp::kRed, 8, red, 4);
    p.entries[212] = Rgb{235, 40, 30};  // warning red of the status bar
    const Rgb lime[] = {{10, 50, 10}, {60, 200, 90}};
    Ramp(p, ramp::kLime, 8, lime, 2);
    p.entries[219] = Rgb{196, 200, 210};  // near star grey
    p.entries[223] = Rgb{70, 235, 100};   // healthy green of the status bar
    const Rgb green[] = {{0, 28, 8}, {10, 110, 40}, {80, 220, 90}, {220, 255, 200}};
    Ramp(p, ramp::kGreen, 16, green, 4);
    const Rgb violet[] = {{30, 6, 50}, {110, 30, 170}, {220, 90, 230}, {255, 210, 250}};
    Ramp(p, ramp::kViolet, 15, violet, 4);
    p.entries[255] = Rgb{255, 255, 255};
    p.entries[0] = Rgb{0, 0, 0};
    return p;
}
