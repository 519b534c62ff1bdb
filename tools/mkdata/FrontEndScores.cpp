// The high-score screen: "hiscore.dat" (the whole background with the
// column captions), "hiworld.dat" (the same for the world table, its rank
// column left to the screen) and "hibutt.dat" (difficulty labels, the
// WORLD switch, continue and back buttons), all on one palette.
//
// The screen writes its rows and columns where screens/HighScoreSheet.h
// says, over the bands and under the captions drawn here; it draws the
// labels on the bar's well, the back button at (5, 1) and the continue
// button at (516, 1). Those places are left plain.
#include <algorithm>
#include <cmath>
#include <string>

#include "FrontEndArt.h"
#include "platform/Host.h"
#include "screens/HighScoreSheet.h"

namespace fe {
namespace {

using paint::Clamp01;
using paint::Mix;
using paint::Scale;

const Colour kLine{52, 56, 70};

RgbImage Background(const Faces& f, bool world) {
    RgbImage img(kScreenWidth, kScreenHeight);
    SpaceLook look;
    look.seed = 303;
    look.nebulaA = {20, 60, 120};
    look.nebulaB = {100, 20, 90};
    look.scale = 210.f;
    look.stars = 800;
    DeepSpace(img, {0, 0, kScreenWidth, kScreenHeight}, look);
    Planet(img, 600.f, 600.f, 210.f, {10, 20, 50}, {60, 120, 220}, false, 71);

    // title between the two round buttons
    TextStyle gold = GoldLook();
    gold.outlineWidth = 2;
    gold.glow = {255, 120, 10};
    gold.glowRadius = 7;
    gold.glowStrength = 0.7f;
    int size = FitSize(f.bold, "HIGH SCORES", 58, 360, 1);
    TextCentred(img, f.bold, "HIGH SCORES", size, 320, 78, gold, 1);
    TextStyle sub = CyanGlowLook();
    sub.glowRadius = 3;
    TextCentred(img, f.condensed,
                world ? "THE  LONGEST  WORMS  OF  THE  WORLD" : "THE  TEN  LONGEST  WORMS  OF  THE  VOID", 13, 320, 104,
                sub, 1);

    // the table
    const Box table{52, 128, 592, kHighScoreTableBottom};
    DropShadow(img, table, 10.f, 8.f, 0.6f);
    GlassPanel(img, table, 10.f, {2, 6, 18}, 0.3f);
    for (int i = 0; i < 10; ++i) {
        const int top = kHighScoreFirstRowY + kHighScoreRowHeight * i;
        Colour band = i % 2 == 0 ? Colour{10, 30, 55} : Colour{4, 14, 30};
        for (int y = top - 1; y < top + 24; ++y)
            for (int x = 60; x < 584; ++x) {
                Colour c = img.Get(x, y);
                float edge = Clamp01(std::min(x - 60, 583 - x) / 12.f);
                img.Set(x, y, Mix(c, {c.r * 0.6f + band.r, c.g * 0.6f + band.g, c.b * 0.6f + band.b}, edge));
            }
        if (world) continue;  // the screen writes the world's ranks
        // rank number
        TextStyle rank;
        rank.top = {140, 200, 240};
        rank.bottom = {60, 110, 170};
        rank.outline = {0, 0, 0};
        rank.outlineWidth = 1;
        std::string n = std::to_string(i + 1) + ".";
        int w = f.condensed.Measure(n, 14);
        Text(img, f.condensed, n, 14, 96 - w, top + 17, rank);
    }
    // column captions over the rows
    TextStyle cap = CyanGlowLook();
    cap.glowRadius = 3;
    // the length column is only 75 pixels wide
    const int capY = 166, capSize = FitSize(f.condensed, "LENGTH", 17, 64, 1);
    if (world) {
        Text(img, f.condensed, "RANK", capSize, kWorldRankRight - f.condensed.Measure("RANK", capSize, 1), capY, cap,
             1);
        Text(img, f.condensed, "SCORE", capSize, kWorldScoreX, capY, cap, 1);
        Text(img, f.condensed, "NAME", capSize, kWorldNameX, capY, cap, 1);
    } else {
        Text(img, f.condensed, "SCORE", capSize, kHighScoreScoreX, capY, cap, 1);
        Text(img, f.condensed, "NAME", capSize, kHighScoreNameX, capY, cap, 1);
    }
    Text(img, f.condensed, "LENGTH", capSize, kHighScoreLengthX, capY, cap, 1);
    Text(img, f.condensed, "LEVEL", capSize, kHighScoreLevelX, capY, cap, 1);
    for (int x = 64; x < 580; ++x) {
        float t = 1.f - std::fabs(x - 322.f) / 260.f;
        img.Add(x, 173, Scale(Colour{40, 200, 255}, 0.8f * t));
    }

    // the difficulty bar along the bottom
    const Box bar{kHighScoreBarLeft, kHighScoreBarTop, kHighScoreBarRight, kScreenHeight};
    paint::Sdf barShape = paint::RoundedBox(bar.left, bar.top, bar.right, bar.bottom + 10, 8.f);
    Emboss(img, {bar.left, bar.top, bar.right, kScreenHeight}, barShape, Brushed({60, 68, 92}, bar, 13), 3.f, false,
           0.5f);
    paint::Sdf well = paint::RoundedBox(kHighScoreWellLeft, 452, kHighScoreWellRight, kScreenHeight + 6, 5.f);
    Emboss(img, {kHighScoreWellLeft, 452, kHighScoreWellRight, kScreenHeight}, well, Flat({6, 10, 22}), 2.f, true, 0.f);
    // a groove between the difficulties and the WORLD switch
    for (int y = 455; y < 477; ++y) {
        img.Set(kHighScoreWorldX - 6, y, Scale(img.Get(kHighScoreWorldX - 6, y), 0.3f));
        img.Add(kHighScoreWorldX - 5, y, Colour{40, 48, 70});
    }
    TextStyle small;
    small.top = {215, 225, 240};
    small.bottom = {130, 140, 165};
    small.outline = {0, 0, 0};
    small.outlineWidth = 1;
    Text(img, f.condensed, "TABLE:", 14, 140, 471, small, 1);
    Text(img, f.condensed, "ESC: MENU", 14, kHighScoreWellRight + 10, 471, small, 1);
    return img;
}

// ---------------------------------------------------------------- buttons

// Frame 1 is the table on show: lit letters on a glowing plate.
RgbImage Label(const Faces& f, const SheetCell& c, const char* word, Colour glow, bool shown) {
    const int w = c.w - 1, h = c.h - 1;
    RgbImage pic(w, h);
    if (shown) {
        paint::Sdf plate = paint::RoundedBox(0.5f, 1.5f, w - 0.5f, h - 1.5f, 5.f);
        Emboss(pic, {0, 0, w, h}, plate, Flat(Scale(glow, 0.35f)), 2.f, false, 0.4f);
    }
    TextStyle s;
    s.top = shown ? Colour{255, 255, 255} : Colour{150, 160, 180};
    s.bottom = shown ? Mix(glow, Colour{255, 255, 255}, 0.3f) : Colour{80, 88, 110};
    s.outline = {0, 0, 0};
    s.outlineWidth = 1;
    const int size = DifficultyWordSize(f);
    TextCentred(pic, f.condensed, word, size, w / 2, (h + static_cast<int>(size * 0.729f)) / 2, s, 1);
    return pic;
}

// A round console button: metal bezel, glowing glass dome, an icon and a word.
RgbImage RoundButton(const Faces& f, const std::string& word, Colour dome, bool forward) {
    const int w = FrameWidth(kHighScoreContinueCell.w), h = FrameHeight(kHighScoreContinueCell.h);
    RgbImage pic(w, h);
    const float cx = 62.f, cy = 62.f;
    paint::FillShape(pic, {0, 0, w, h}, paint::Circle(cx + 2, cy + 3, 58.f), Flat({0, 0, 0}));
    Emboss(
        pic, {0, 0, w, h}, paint::Circle(cx, cy, 58.f),
        [&](float x, float y) {
            float a = std::atan2(y - cy, x - cx);
            return Scale(Colour{150, 160, 185}, 0.8f + 0.25f * std::sin(a * 6.f));
        },
        7.f, false, 0.8f);
    Emboss(pic, {0, 0, w, h}, paint::Circle(cx, cy, 47.f), Flat({30, 34, 48}), 3.f, true, 0.f);
    Emboss(
        pic, {0, 0, w, h}, paint::Circle(cx, cy, 43.f),
        [&](float x, float y) {
            float d = std::hypot(x - cx + 10.f, y - cy + 12.f) / 60.f;
            return Mix(Scale(dome, 1.5f), Scale(dome, 0.35f), Clamp01(d));
        },
        16.f, false, 1.f);
    // the icon: a double chevron forward, or a turning-back arrow
    paint::Sdf icon;
    if (forward) {
        icon = paint::Union(paint::Polygon({40.f, 36.f, 62.f, 54.f, 40.f, 72.f}),
                            paint::Polygon({60.f, 36.f, 82.f, 54.f, 60.f, 72.f}));
    } else {
        paint::Sdf arc = [cx](float x, float y) {
            float d = std::fabs(std::hypot(x - (cx + 4.f), y - 58.f) - 14.f) - 4.f;
            return x < cx + 4.f && y > 58.f ? 9.f : d;
        };
        icon = paint::Union(arc, paint::Polygon({cx + 4.f, 60.f, cx + 4.f, 80.f, cx - 12.f, 70.f}));
        icon = paint::Union(icon, paint::Segment(cx - 8.f, 70.f, cx + 4.f, 70.f, 0.1f));
    }
    paint::FillShape(pic, {0, 0, w, h}, paint::Offset(icon, 1.5f), Flat(Scale(dome, 0.15f)));
    Emboss(pic, {0, 0, w, h}, icon, Flat({250, 250, 245}), 2.f, false, 0.8f);
    TextStyle s;
    s.top = {255, 255, 255};
    s.bottom = {200, 210, 225};
    s.outline = Scale(dome, 0.12f);
    s.outlineWidth = 1;
    int size = FitSize(f.condensed, word, 14, 64, 1);
    TextCentred(pic, f.condensed, word, size, static_cast<int>(cx), 95, s, 1);
    // glass highlight
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float ex = (x + 0.5f - (cx - 8.f)) / 26.f, ey = (y + 0.5f - (cy - 24.f)) / 11.f;
            float q = ex * ex + ey * ey;
            if (q < 1.f) pic.Add(x, y, Scale(Colour{255, 255, 255}, 0.35f * (1.f - q)));
        }
    return pic;
}

RgbImage Buttons(const Faces& f) {
    RgbImage sheet(kHighScoreButtonsWidth, kHighScoreButtonsHeight);
    for (const SheetCell& c : kHighScoreLabelCells) StripLines(sheet, c, 2, kLine);
    StripLines(sheet, kHighScoreWorldCell, 2, kLine);
    StripLines(sheet, kHighScoreContinueCell, 1, kLine);
    StripLines(sheet, kHighScoreBackCell, 1, kLine);
    const Colour glow[kDifficulties] = {{40, 220, 80}, {250, 180, 20}, {250, 60, 40}};
    for (int frame = 0; frame < 2; ++frame) {
        for (int k = 0; k < kDifficulties; ++k)
            PutFrame(sheet, kHighScoreLabelCells[k], frame,
                     Label(f, kHighScoreLabelCells[k], kDifficultyWords[k], glow[k], frame == 1));
        PutFrame(sheet, kHighScoreWorldCell, frame, Label(f, kHighScoreWorldCell, "WORLD", {40, 150, 255}, frame == 1));
    }
    PutFrame(sheet, kHighScoreContinueCell, 0, RoundButton(f, "CONTINUE", {30, 170, 60}, true));
    PutFrame(sheet, kHighScoreBackCell, 0, RoundButton(f, "BACK", {190, 50, 30}, false));
    return sheet;
}

}  // namespace

bool MakeHighScores(const std::string& dir, const Faces& f) {
    RgbImage background = Background(f, false);
    RgbImage world = Background(f, true);
    RgbImage buttons = Buttons(f);
    return WriteFamily(
        dir, {{"grafik/hiscore.dat", &background}, {"grafik/hiworld.dat", &world}, {"grafik/hibutt.dat", &buttons}});
}

}  // namespace fe
