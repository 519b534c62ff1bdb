// "menyinv.dat": every picture of the main menu on one 800 x 600 sheet,
// each at its place in the menu's sprite table. The menu stands on a black
// star field, so the pictures are cut out (index 0 around them); its palette
// keeps 32, 72 and 106 as the greys of the farther stars.
#include <algorithm>
#include <cmath>

#include "FrontEndArt.h"
#include "PlayPaint.h"
#include "match/FoodSheet.h"
#include "screens/MenuSheet.h"
#include "world/WormSheets.h"

namespace fe {
namespace {

using paint::Clamp01;
using paint::Mix;
using paint::Scale;

const Colour kLine{52, 56, 70};

// -------------------------------------------------------------- menu items

const char* const kItemWords[kMenuItems] = {"ONE PLAYER", "TWO PLAYERS", "HIGH SCORES", "INFO", "QUIT"};

RgbImage MenuWord(const Faces& f, const std::string& word, int size, int w, int h, bool lit) {
    RgbImage pic(w, h);
    const paint::TextFace& face = f.condensed;
    const int cap = static_cast<int>(size * 0.729f + 0.5f);  // NOLINT(bugprone-incorrect-roundings): never negative
    const int base = (h + cap) / 2;
    TextStyle s;
    if (lit) {
        s = GoldLook();
        s.glow = {255, 130, 20};
        s.glowRadius = 5;
        s.glowStrength = 0.9f;
        s.outlineWidth = 2;
    } else {
        s = ChromeLook();
        s.glow = {0, 70, 120};
        s.glowRadius = 4;
        s.glowStrength = 0.8f;
        s.outlineWidth = 2;
        s.shadowDx = 0;
        s.shadowDy = 0;
    }
    TextCentred(pic, face, word, size, w / 2, base, s, 1);
    if (lit) {
        // a bright flare on the first letter's shoulder
        int width = face.Measure(word, size, 1);
        float fx = w / 2.f - width / 2.f + 4.f, fy = base - cap + 3.f;
        paint::AddGlow(pic, fx, fy, 7.f, {255, 240, 200});
        for (int d = 1; d < 10; ++d) {
            Colour c = Scale(Colour{255, 230, 180}, 0.7f / d);
            pic.Add(int(fx) + d, int(fy), c);
            pic.Add(int(fx) - d, int(fy), c);
            pic.Add(int(fx), int(fy) + d / 2, c);
            pic.Add(int(fx), int(fy) - d / 2, c);
        }
    }
    return pic;
}

// ------------------------------------------------------------------- title

RgbImage Title(const Faces& f) {
    const int w = FrameWidth(kMenuTitleCell.w), h = FrameHeight(kMenuTitleCell.h);
    RgbImage pic(w, h);
    const paint::TextFace& face = f.bold;
    const std::string word = "VOIDCRAWL";
    const int size = FitSize(face, word, 90, w - 30, -2);
    const int textW = face.Measure(word, size, -2);
    const int x0 = (w - textW) / 2 - 3, base = 74;
    paint::Mask m = face.Render(word, size, -2);

    // an orbit ring behind the letters
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float ex = (x + 0.5f - w / 2.f) / 190.f, ey = (y + 0.5f - 58.f) / 40.f;
            float d = std::fabs(std::hypot(ex, ey) - 1.f) * 40.f;
            if (d < 3.f)
                pic.Add(x, y,
                        Scale(Colour{40, 180, 255}, (1.f - d / 3.f) * (0.35f + 0.65f * Clamp01((y - 40) / 60.f))));
        }
    paint::AddGlow(pic, w / 2.f, 56.f, 120.f, {30, 12, 60});

    // extruded depth: the mask stepped down-right in darkening bronze
    for (int step = 6; step >= 1; --step) {
        Colour c = Mix(Colour{90, 40, 5}, Colour{25, 10, 0}, step / 6.f);
        for (int j = 0; j < m.height; ++j)
            for (int i = 0; i < m.width; ++i) {
                float v = m.At(i, j);
                if (v > 0.f) pic.Blend(x0 + i + step, base - m.baseline + j + step, c, v);
            }
    }
    TextStyle s = GoldLook();
    s.outlineWidth = 2;
    s.outline = {30, 10, 0};
    s.shadowDx = 0;
    s.shadowDy = 0;
    s.glow = {255, 120, 0};
    s.glowRadius = 6;
    s.glowStrength = 0.5f;
    paint::DrawMask(pic, m, x0, base - m.baseline, s);
    // chrome sheen across the upper half of each letter
    for (int j = 0; j < m.height; ++j)
        for (int i = 0; i < m.width; ++i) {
            float v = m.At(i, j);
            int y = base - m.baseline + j;
            float band = Clamp01(1.f - std::fabs(y - (base - size * 0.5f)) / 4.f);
            if (v > 0.5f && band > 0.f) pic.Blend(x0 + i, y, Colour{255, 255, 240}, band * 0.7f);
        }
    // glints
    for (float gx : {x0 + 30.f, x0 + textW * 0.62f}) {
        float gy = base - size * 0.7f;
        paint::AddGlow(pic, gx, gy, 9.f, {255, 250, 220});
        for (int d = 1; d < 16; ++d) {
            Colour c = Scale(Colour{255, 245, 210}, 0.8f / d);
            pic.Add(int(gx) + d, int(gy), c);
            pic.Add(int(gx) - d, int(gy), c);
            pic.Add(int(gx), int(gy) + d / 2, c);
            pic.Add(int(gx), int(gy) - d / 2, c);
        }
    }
    TextStyle sub = CyanGlowLook();
    sub.glowRadius = 3;
    sub.outlineWidth = 1;
    TextCentred(pic, f.condensed, "THE  SPACE  WORM  ARCADE", 13, w / 2, 104, sub, 2);
    return pic;
}

// -------------------------------------------------------- difficulty labels

const Colour kLevelTop[3] = {{220, 255, 200}, {255, 250, 200}, {255, 215, 200}};
const Colour kLevelBottom[3] = {{60, 210, 80}, {240, 170, 20}, {235, 50, 30}};
const Colour kLevelGlow[3] = {{20, 150, 40}, {180, 110, 0}, {180, 20, 10}};

RgbImage LevelLabel(const Faces& f, int k, bool selected) {
    const SheetCell& c = kMenuDifficultyCells[k];
    RgbImage pic(c.w - 1, c.h - 1);
    TextStyle s;
    if (selected) {
        s.top = kLevelTop[k];
        s.bottom = kLevelBottom[k];
        s.outline = {0, 0, 0};
        s.glow = kLevelGlow[k];
        s.glowRadius = 3;
    } else {
        s.top = {150, 160, 180};
        s.bottom = {70, 78, 100};
        s.outline = {0, 0, 0};
    }
    s.outlineWidth = 1;
    const int size = DifficultyWordSize(f);
    int base = (c.h - 1 + static_cast<int>(size * 0.729f)) / 2;
    TextCentred(pic, f.condensed, kDifficultyWords[k], size, (c.w - 1) / 2, base, s, 1);
    return pic;
}

// A speaker: with sound waves when the hum is on, crossed out when off.
RgbImage HumSwitch(bool on) {
    RgbImage pic(15, 15);
    paint::Sdf speaker = paint::Polygon({1.5f, 5.f, 4.5f, 5.f, 8.5f, 1.5f, 8.5f, 13.5f, 4.5f, 10.f, 1.5f, 10.f});
    paint::FillShape(pic, {0, 0, 15, 15}, paint::Offset(speaker, 0.8f), Flat({0, 0, 0}));
    Emboss(pic, {0, 0, 15, 15}, speaker, Flat(on ? Colour{190, 215, 240} : Colour{110, 112, 125}), 1.5f, false, 0.6f);
    if (on) {
        for (float r : {3.5f, 6.f}) {
            paint::Sdf arc = [r](float x, float y) {
                float d = std::fabs(std::hypot(x - 8.f, y - 7.5f) - r) - 0.7f;
                return x < 9.5f ? 9.f : d;
            };
            paint::FillShape(pic, {8, 0, 15, 15}, arc, Flat({90, 255, 120}));
        }
    } else {
        paint::Sdf cross =
            paint::Union(paint::Segment(10.f, 4.5f, 14.f, 10.5f, 0.9f), paint::Segment(14.f, 4.5f, 10.f, 10.5f, 0.9f));
        paint::FillShape(pic, {8, 0, 15, 15}, cross, Flat({255, 50, 40}));
    }
    return pic;
}

// ----------------------------------------------------------------- credits

const char* const kCreditWords[3] = {"LEAD CODE", "CODE & SOUND", "GRAPHICS"};

// A brushed-metal pill with its word, lit with a cyan rim under the pointer:
// the credit buttons and OPTIONS.
RgbImage PillButton(const Faces& f, const SheetCell& c, const char* word, bool lit) {
    const int w = c.w - 1, h = c.h - 1;
    RgbImage pic(w, h);
    const Box box{0, 0, w, h};
    paint::Sdf pill = paint::RoundedBox(0.5f, 0.5f, w - 0.5f, h - 0.5f, (h - 1) / 2.f);
    Colour metal = lit ? Colour{60, 110, 150} : Colour{48, 54, 72};
    Emboss(pic, box, pill, Brushed(metal, box), 3.f, false, 0.5f);
    if (lit)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float d = -pill(x + 0.5f, y + 0.5f);
                if (d > 0.f && d < 3.f) pic.Add(x, y, Scale(Colour{40, 200, 255}, 1.f - d / 3.f));
            }
    TextStyle s;
    s.top = lit ? Colour{255, 255, 255} : Colour{200, 210, 225};
    s.bottom = lit ? Colour{150, 235, 255} : Colour{120, 130, 150};
    s.outline = {0, 0, 10};
    s.outlineWidth = 1;
    int size = FitSize(f.condensed, word, h - 8, w - 20, 1);
    TextCentred(pic, f.condensed, word, size, w / 2, (h + static_cast<int>(size * 0.729f)) / 2, s, 1);
    return pic;
}

// A thin metal frame around a picture.
void PictureFrame(RgbImage& pic) {
    const int w = pic.Width(), h = pic.Height();
    paint::Sdf outer = paint::RoundedBox(0.f, 0.f, float(w), float(h), 5.f);
    paint::Sdf inner = paint::RoundedBox(4.f, 4.f, w - 4.f, h - 4.f, 2.f);
    Emboss(pic, {0, 0, w, h}, paint::Subtract(outer, inner), Brushed({120, 130, 155}, {0, 0, w, h}), 2.f, false, 0.7f);
}

// The two worms of the game hunting over a blue world: the game's own
// sprites (heading right: tail, body, head; heading left: head, body, tail).
RgbImage CreditWorm(int w, int h) {
    RgbImage pic(w, h);
    SpaceLook look;
    look.seed = 41;
    look.stars = 120;
    look.scale = 60.f;
    look.nebulaA = {40, 20, 90};
    look.nebulaB = {0, 50, 90};
    DeepSpace(pic, {0, 0, w, h}, look);
    Planet(pic, w * 0.8f, h * 1.05f, 56.f, {20, 40, 110}, {90, 170, 255}, false, 9);
    const Canvas steel = play::BuildWormSheet(0);
    const Canvas violet = play::BuildWormSheet(1);
    const Canvas food = play::BuildFoodSheet();
    const int right = 1, left = 3;  // headings
    pic.Draw(FromShared(steel, WormTailCell(right), 0), 8, 12);
    pic.Draw(FromShared(steel, WormBodyCell(right), 0), 40, 12);
    pic.Draw(FromShared(steel, WormHeadCell(right), 0), 72, 12);
    pic.Draw(FromShared(food, FoodCell(2), 0), 114, 12);
    pic.Draw(FromShared(violet, WormHeadCell(left), 0), 50, 58);
    pic.Draw(FromShared(violet, WormBodyCell(left), 0), 82, 58);
    pic.Draw(FromShared(violet, WormTailCell(left), 0), 114, 58);
    pic.Draw(FromShared(food, FoodCell(0), 0), 12, 58);
    PictureFrame(pic);
    return pic;
}

// A ringed gas giant with a moon; sound rings ripple out from it.
RgbImage CreditPlanet(int w, int h) {
    RgbImage pic(w, h);
    SpaceLook look;
    look.seed = 52;
    look.stars = 110;
    look.scale = 70.f;
    look.nebulaA = {90, 20, 60};
    look.nebulaB = {20, 30, 90};
    DeepSpace(pic, {0, 0, w, h}, look);
    const float cx = w * 0.42f, cy = h * 0.52f, r = 27.f;
    for (float rr : {46.f, 60.f, 74.f})
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float d = std::fabs(std::hypot(x + 0.5f - cx, (y + 0.5f - cy) * 1.1f) - rr);
                if (d < 1.6f) pic.Add(x, y, Scale(Colour{60, 220, 160}, (1.f - d / 1.6f) * (1.2f - rr / 90.f)));
            }
    auto ring = [&](bool front) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float ex = (x + 0.5f - cx) / 50.f, ey = (y + 0.5f - cy) / 11.f;
                float q = std::hypot(ex, ey);
                if (q < 0.68f || q > 1.f) continue;
                if (front != (y + 0.5f > cy)) continue;
                float band = 0.55f + 0.45f * std::sin(q * 38.f);
                pic.Blend(x, y, Scale(Colour{235, 200, 150}, band), 0.85f);
            }
    };
    ring(false);
    Planet(pic, cx, cy, r, {120, 60, 20}, {250, 190, 110}, true, 21);
    ring(true);
    Planet(pic, w * 0.83f, h * 0.24f, 8.f, {60, 60, 70}, {200, 200, 215}, false, 33);
    PictureFrame(pic);
    return pic;
}

// A nebula with the star streaks of the star scroll.
RgbImage CreditNebula(int w, int h) {
    RgbImage pic(w, h);
    SpaceLook look;
    look.seed = 63;
    look.stars = 60;
    look.scale = 45.f;
    look.nebulaA = {150, 40, 120};
    look.nebulaB = {30, 110, 170};
    look.nebulaAmount = 1.3f;
    DeepSpace(pic, {0, 0, w, h}, look);
    const float cx = w * 0.55f, cy = h * 0.5f;
    ToolRandom rng(77);
    for (int i = 0; i < 70; ++i) {
        float a = rng.Unit() * 6.2832f;
        float d0 = 6.f + rng.Unit() * 60.f;
        float len = 3.f + d0 * 0.25f;
        float b = 0.3f + 0.7f * rng.Unit();
        for (float s = 0.f; s < len; s += 0.5f) {
            float d = d0 + s;
            int x = static_cast<int>(cx + std::cos(a) * d), y = static_cast<int>(cy + std::sin(a) * d * 0.8f);
            pic.Add(x, y, Scale(Colour{255, 255, 255}, b * 0.5f * (s / len)));
        }
    }
    paint::AddGlow(pic, cx, cy, 22.f, {120, 110, 160});
    paint::AddGlow(pic, cx, cy, 6.f, {255, 255, 255});
    PictureFrame(pic);
    return pic;
}

}  // namespace

bool MakeMenu(const std::string& dir, const Faces& f) {
    RgbImage sheet(kMenuSheetWidth, kMenuSheetHeight);

    // separator lines first; every picture then replaces its whole cell
    for (const SheetCell& c : kMenuItemCells) StripLines(sheet, c, 2, kLine);
    StripLines(sheet, kMenuTitleCell, 1, kLine);
    for (const SheetCell& c : kMenuDifficultyCells) StripLines(sheet, c, 2, kLine);
    StripLines(sheet, kMenuHumSwitchCell, 2, kLine);
    StripLines(sheet, kMenuOptionsCell, 2, kLine);
    for (const SheetCell& c : kMenuCreditButtonCells) StripLines(sheet, c, 2, kLine);
    for (const SheetCell& c : kMenuCreditPictureCells) StripLines(sheet, c, 1, kLine);

    int size = 60;
    for (int k = 0; k < kMenuItems; ++k)
        size = std::min(size, FitSize(f.condensed, kItemWords[k], 48, kMenuItemCells[k].w - 1 - 16, 1));
    for (int k = 0; k < kMenuItems; ++k) {
        const SheetCell& c = kMenuItemCells[k];
        for (int frame = 0; frame < 2; ++frame)
            PutFrame(sheet, c, frame, MenuWord(f, kItemWords[k], size, c.w - 1, c.h - 1, frame == 1));
    }
    PutFrame(sheet, kMenuTitleCell, 0, Title(f));
    for (int k = 0; k < kDifficulties; ++k)
        for (int frame = 0; frame < 2; ++frame)
            PutFrame(sheet, kMenuDifficultyCells[k], frame, LevelLabel(f, k, frame == 1));
    PutFrame(sheet, kMenuHumSwitchCell, 0, HumSwitch(true));
    PutFrame(sheet, kMenuHumSwitchCell, 1, HumSwitch(false));
    for (int k = 0; k < kMenuCredits; ++k)
        for (int frame = 0; frame < 2; ++frame)
            PutFrame(sheet, kMenuCreditButtonCells[k], frame,
                     PillButton(f, kMenuCreditButtonCells[k], kCreditWords[k], frame == 1));
    for (int frame = 0; frame < 2; ++frame)
        PutFrame(sheet, kMenuOptionsCell, frame, PillButton(f, kMenuOptionsCell, "OPTIONS", frame == 1));
    const SheetCell* cp = kMenuCreditPictureCells;
    PutFrame(sheet, cp[0], 0, CreditWorm(cp[0].w - 1, cp[0].h - 1));
    PutFrame(sheet, cp[1], 0, CreditPlanet(cp[1].w - 1, cp[1].h - 1));
    PutFrame(sheet, cp[2], 0, CreditNebula(cp[2].w - 1, cp[2].h - 1));

    // the star field's depth bands use 255, 219, 106, 72 and 32
    const std::vector<FixedEntry> stars = {{106, {150, 152, 162}}, {72, {104, 106, 118}}, {32, {62, 64, 74}}};
    return WriteFamily(dir, {{"grafik/menyinv.dat", &sheet}}, stars);
}

}  // namespace fe
