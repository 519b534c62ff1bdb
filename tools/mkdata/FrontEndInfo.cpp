// The info screen: "bgInfo2.dat" carries every word of it (the goal, the
// levels, both players' keys, shields and lives, the food), and
// "BallAnim.dat" the animated ball that leads back to the menu with its two
// hover pictures. The ball stands at (570, 410) and the hover pictures at
// (500, 400) and (540, 340), so the lower right corner stays open space.
#include <algorithm>
#include <cmath>
#include <string>

#include "FrontEndArt.h"
#include "PlayPaint.h"
#include "match/FoodSheet.h"
#include "screens/InfoSheet.h"
#include "world/WormSheets.h"

namespace fe {
namespace {

using paint::Clamp01;
using paint::Mix;
using paint::Scale;

const Colour kLine{52, 56, 70};
const Colour kBody{200, 212, 228};

TextStyle Heading() {
    TextStyle s = GoldLook();
    s.shadowDx = 1;
    s.shadowDy = 1;
    return s;
}

// A key cap with its name on it; returns its width.
int KeyCap(RgbImage& img, const Faces& f, const std::string& name, int x, int baseline) {
    const int size = 10;
    const int w = f.condensed.Measure(name, size, 1) + 10;
    const Box b{x, baseline - 12, x + w, baseline + 5};
    Emboss(img, b, paint::RoundedBox(b.left, b.top, b.right, b.bottom, 3.f), Brushed({92, 100, 124}, b, 3), 2.f, false,
           0.6f);
    TextStyle s;
    s.top = {255, 255, 255};
    s.bottom = {205, 215, 235};
    s.outline = {10, 12, 22};
    s.outlineWidth = 1;
    Text(img, f.condensed, name, size, x + 5, baseline, s, 1);
    return w;
}

RgbImage Background(const Faces& f) {
    RgbImage img(640, 480);
    SpaceLook look;
    look.seed = 404;
    look.nebulaA = {30, 90, 130};
    look.nebulaB = {90, 30, 110};
    look.scale = 200.f;
    look.stars = 700;
    DeepSpace(img, {0, 0, 640, 480}, look);
    // a ringless world low in the free corner, for the ball to stand over
    Planet(img, 640.f, 520.f, 120.f, {40, 16, 60}, {170, 110, 230}, false, 17);

    TextStyle title = GoldLook();
    title.outlineWidth = 2;
    title.glow = {255, 120, 10};
    title.glowRadius = 6;
    title.glowStrength = 0.6f;
    TextCentred(img, f.bold, "HOW TO PLAY VOIDCRAWL", FitSize(f.bold, "HOW TO PLAY VOIDCRAWL", 34, 560, 1), 320, 44,
                title, 1);

    const TextStyle body = Plain(kBody);
    const TextStyle head = Heading();
    const paint::TextFace& copy = f.narrow;
    const int copySize = 12, lead = 15;

    // ---- left: the goal and the levels
    const Box left{14, 62, 318, 334};
    GlassPanel(img, left, 8.f, {2, 8, 20}, 0.3f);
    int y = left.top + 24;
    Text(img, f.condensed, "THE GOAL", 16, left.left + 12, y, head, 1);
    y += 19;
    y = Paragraph(img, copy,
                  "Steer your space worm through the void and eat: every bite makes it longer and adds to your "
                  "score. When it reaches the level's target length, its hyperspace exit opens. "
                  "Jump out with your jump key, or the ship jumps by itself after a few seconds.",
                  copySize, left.left + 12, y, left.right - left.left - 24, lead, body);
    y += 8;
    Text(img, f.condensed, "20 LEVELS", 16, left.left + 12, y, head, 1);
    y += 19;
    y = Paragraph(img, copy,
                  "A game runs through 20 levels, easy, medium or hard. Level 6 is a timer level: 40 seconds on "
                  "the clock. Between levels, spend the points you earned on ship upgrades.",
                  copySize, left.left + 12, y, left.right - left.left - 24, lead, body);

    // the two ship types crawling toward a meal: tail, body, head
    {
        const Canvas food = play::BuildFoodSheet();
        const int wy = left.bottom - 44;
        for (int ship = 0; ship < 2; ++ship) {
            const Canvas worm = play::BuildWormSheet(ship);
            const int wx = left.left + 12 + ship * 146;
            const int right = 1;  // heading
            img.Draw(FromShared(worm, WormTailCell(right), 0), wx, wy);
            img.Draw(FromShared(worm, WormBodyCell(right), 0), wx + 32, wy);
            img.Draw(FromShared(worm, WormHeadCell(right), 0), wx + 64, wy);
            img.Draw(FromShared(food, FoodCell(ship * 2), 0), wx + 102, wy);
        }
    }

    // ---- right: the keys of both players, shields and lives
    const Box right{326, 62, 626, 334};
    GlassPanel(img, right, 8.f, {2, 8, 20}, 0.3f);
    y = right.top + 24;
    Text(img, f.condensed, "KEYS", 16, right.left + 12, y, head, 1);
    TextStyle cap = CyanGlowLook();
    cap.glowRadius = 2;
    const int colAction = right.left + 12, colOne = right.left + 104, colTwo = right.left + 204;
    Text(img, f.condensed, "PLAYER 1", 12, colOne, y, cap, 1);
    Text(img, f.condensed, "PLAYER 2", 12, colTwo, y, cap, 1);
    y += 24;
    const char* const rows[6][3] = {{"TURN LEFT", "LEFT ARROW", "A"},
                                    {"TURN RIGHT", "RIGHT ARROW", "D"},
                                    {"WARP GATE", "RIGHT CTRL", "LEFT CTRL"},
                                    {"HYPER JUMP", "RIGHT SHIFT", "LEFT SHIFT"},
                                    {"BOOST", "UP ARROW", "W"},
                                    {"BRAKE", "DOWN ARROW", "S"}};
    TextStyle action = Plain({235, 240, 250});
    for (const auto& row : rows) {
        Text(img, f.condensed, row[0], 12, colAction, y, action, 1);
        KeyCap(img, f, row[1], colOne, y);
        KeyCap(img, f, row[2], colTwo, y);
        y += 21;
    }
    y += 6;
    Text(img, f.condensed, "SHIELDS AND LIVES", 16, right.left + 12, y, head, 1);
    y += 19;
    Paragraph(img, copy,
              "Walls, worms and the arena's edge drain your plasma shield and bounce you off; the shield recovers "
              "as you fly. Below zero the ship explodes and a life is lost. A warp gate throws your head to a "
              "random free cell.",
              copySize, right.left + 12, y, right.right - right.left - 24, lead, body);

    // ---- bottom: the food
    const Box bottom{14, 342, 490, 470};
    GlassPanel(img, bottom, 8.f, {2, 8, 20}, 0.3f);
    Text(img, f.condensed, "FOOD", 16, bottom.left + 12, bottom.top + 22, head, 1);
    Text(img, copy, "Each item comes back elsewhere once it is eaten.", 12, bottom.left + 64, bottom.top + 21, body);
    const Canvas food = play::BuildFoodSheet();
    const char* const grow[5] = {"GROW 2", "GROW 4", "GROW 5", "GROW 7", "1 BOOST"};
    const char* const worth[5] = {"200 PTS", "500 PTS", "800 PTS", "1400 PTS", "OR BRAKE"};
    TextStyle label = Plain({235, 240, 250});
    TextStyle points = Plain({250, 210, 110});
    for (int k = 0; k < 5; ++k) {
        const int cx = bottom.left + 52 + k * 92, top = bottom.top + 32;
        paint::AddGlow(img, cx, top + 16, 24.f, {20, 40, 70});
        img.Draw(FromShared(food, FoodCell(k), 0), cx - 16, top);
        TextCentred(img, f.condensed, grow[k], 12, cx, top + 50, label, 1);
        TextCentred(img, f.condensed, worth[k], 12, cx, top + 64, k == 4 ? label : points, 1);
    }
    TextStyle esc = Plain({170, 185, 210});
    TextCentred(img, copy, "ESC returns to the menu. In play it freezes the game: EXIT Y/N.", 11,
                (bottom.left + bottom.right) / 2, bottom.bottom - 6, esc);
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
    RgbImage background = Background(f);
    RgbImage ball = BallStrip(f);
    return WriteFamily(dir, {{"grafik/bgInfo2.dat", &background}, {"grafik/BallAnim.dat", &ball}});
}

}  // namespace fe
