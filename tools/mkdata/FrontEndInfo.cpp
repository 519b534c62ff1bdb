// The info screen: "bgInfo2.dat" holds its panels (the goal and the
// levels, both players' keys, the food), the ship types and the food the
// screen writes about in the game's bitmap fonts, with a well for each
// player's key, and "BallAnim.dat" the animated ball that leads back to
// the menu with its two hover pictures, which stand in the lower right
// corner (screens/InfoSheet.h).
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>

#include "FrontEndArt.h"
#include "PlayPaint.h"
#include "match/FoodSheet.h"
#include "platform/Host.h"
#include "screens/InfoSheet.h"
#include "world/WormSheets.h"

namespace fe {
namespace {

using paint::Clamp01;
using paint::Mix;
using paint::Scale;

const Colour kLine{52, 56, 70};

RgbImage Background() {
    using L = InfoLayout;
    RgbImage img(kScreenWidth, kScreenHeight);
    PanelBackdrop(img, 404, false);
    PanelTitlePlate(img);
    for (const ScreenBox& panel : {L::kGoalPanel, L::kKeysPanel, L::kFoodPanel}) PanelWell(img, panel);

    // the two ship types crawling toward a meal: tail, body, head
    const Canvas food = play::BuildFoodSheet();
    for (int ship = 0; ship < 2; ++ship) {
        const Canvas worm = play::BuildWormSheet(ship);
        const int wx = L::kWormsX + ship * L::kWormStep, wy = L::kWormsY;
        const int right = 1;  // heading
        img.Draw(FromShared(worm, WormTailCell(right), 0), wx, wy);
        img.Draw(FromShared(worm, WormBodyCell(right), 0), wx + L::kWormPitch, wy);
        img.Draw(FromShared(worm, WormHeadCell(right), 0), wx + 2 * L::kWormPitch, wy);
        img.Draw(FromShared(food, FoodCell(ship * 2), 0), wx + 2 * L::kWormPitch + L::kMealGap, wy);
    }

    // a well for each player's key
    for (int a = 0; a < kPlayKeyCount; ++a)
        for (int p = 0; p < 2; ++p) EntryWell(img, L::KeyWell(p, a));

    // the food, each item on a glow
    for (int k = 0; k < L::kFoodKindsShown; ++k) {
        const int cx = L::kFoodCentreX + k * L::kFoodStep, top = L::kFoodTop;
        paint::AddGlow(img, cx, top + 16, 24.f, {20, 40, 70});
        img.Draw(FromShared(food, FoodCell(k), 0), cx - 16, top);
    }
    return img;
}

// ------------------------------------------------------------- ball strip

// The ball: a plasma orb whose swirls turn a little each frame.
RgbImage Ball(int frame) {
    RgbImage pic(64, 64);
    const float cx = 32.f, cy = 32.f, r = 21.f;
    paint::AddGlow(pic, cx, cy, 31.f, {20, 90, 160});
    const float turn = frame * 0.7f;
    paint::FillShape(pic, {0, 0, 64, 64}, paint::Circle(cx, cy, r), [&](float x, float y) {
        float nx = (x - cx) / r, ny = (y - cy) / r;
        float nz = std::sqrt(std::max(0.f, 1.f - nx * nx - ny * ny));
        // swirl coordinates on the sphere
        float a = std::atan2(ny, nx) + turn + 2.5f * (1.f - nz);
        float q = std::sqrt(nx * nx + ny * ny);
        float n = paint::FractalNoise(std::cos(a) * q * 3.f + 5.f, std::sin(a) * q * 3.f + 5.f, 4, 808);
        float veins = std::pow(1.f - std::fabs(n - 0.5f) * 2.f, 6.f);
        Colour base = Mix(Colour{10, 40, 110}, Colour{40, 160, 255}, nz);
        Colour c = Mix(base, Colour{230, 255, 255}, veins);
        float lit = 0.55f + 0.45f * std::max(0.f, -0.5f * nx - 0.6f * ny + 0.6f * nz);
        c = Scale(c, lit);
        float shine = std::pow(std::max(0.f, -0.35f * nx - 0.45f * ny + 0.82f * nz), 30.f);
        c.r += 255 * shine, c.g += 255 * shine, c.b += 255 * shine;
        return c;
    });
    // a bright core that breathes
    paint::AddGlow(pic, cx, cy, 10.f + 2.f * frame, {120, 200, 255});
    return pic;
}

// The word BACK in blue neon, with "TO MENU" beneath.
RgbImage BackSign(const Faces& f) {
    RgbImage pic(64, 64);
    TextStyle s;
    s.top = {255, 255, 255};
    s.bottom = {150, 230, 255};
    s.outline = {0, 60, 110};
    s.outlineWidth = 1;
    s.glow = {0, 150, 255};
    s.glowRadius = 4;
    s.glowStrength = 1.2f;
    TextCentred(pic, f.bold, "BACK", FitSize(f.bold, "BACK", 20, 54, 0), 32, 34, s);
    TextStyle t = s;
    t.glowRadius = 2;
    t.glowStrength = 0.8f;
    TextCentred(pic, f.condensed, "TO MENU", 10, 32, 48, t, 1);
    return pic;
}

// A glowing arrow pointing down at the ball.
RgbImage Arrow() {
    RgbImage pic(64, 64);
    paint::Sdf arrow =
        paint::Polygon({24.f, 6.f, 40.f, 6.f, 40.f, 30.f, 52.f, 30.f, 32.f, 56.f, 12.f, 30.f, 24.f, 30.f});
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            float d = arrow(x + 0.5f, y + 0.5f);
            if (d > 0.f && d < 7.f)
                pic.Add(x, y, Scale(Colour{255, 140, 20}, 0.6f * (1.f - d / 7.f) * (1.f - d / 7.f)));
        }
    paint::FillShape(pic, {0, 0, 64, 64}, paint::Offset(arrow, 1.f), Flat({60, 20, 0}));
    Emboss(
        pic, {0, 0, 64, 64}, arrow,
        [](float, float y) {
            return Mix(Colour{255, 250, 200}, Colour{250, 140, 20}, Clamp01(y / 56.f));
        },
        4.f, false, 0.8f);
    return pic;
}

RgbImage BallStrip(const Faces& f) {
    RgbImage sheet(kBallSheetWidth, kBallSheetHeight);
    StripLines(sheet, kBallCell, kBallFrames, kLine);
    for (const SheetCell& c : kBallHoverCells) StripLines(sheet, c, 1, kLine);
    for (int k = 0; k < kBallFrames; ++k) PutFrame(sheet, kBallCell, k, Ball(k));
    PutFrame(sheet, kBallHoverCells[0], 0, BackSign(f));
    PutFrame(sheet, kBallHoverCells[1], 0, Arrow());
    return sheet;
}

}  // namespace

bool MakeInfo(const std::string& dir, const Faces& f) {
    RgbImage background = Background();
    RgbImage ball = BallStrip(f);
    return WriteFamily(dir, {{"grafik/bgInfo2.dat", &background}, {"grafik/BallAnim.dat", &ball}});
}

}  // namespace fe
