// The set-up and points screens: "EnterNameBG.dat" (background),
// "input.dat" (name panel, plus sign, ship arrows, OK button) and the two
// ship strips, all four on one palette (the screen fades to the strips').
//
// Where the screens draw: title text at (249, 15) over a black fill
// (220, 10)-(445, 42) (the points screen fills (105, 10)-(540, 42)); the
// name panel at (83, 61) with the name at (138, 111); the ship at
// (127, 210) with arrows at (127, 294) and (246, 294); stat labels at
// x 363, and the values, limits, costs and rows where screens/SetupSheet.h
// says (the three number columns are tinted and captioned in the strip
// above the first row), plus signs at x 338; help lines at x 111, y
// 376..411; OK at (564, 416). The points screen also writes at (180, 50),
// (240, 100) and (230, 150).
#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "FrontEndArt.h"
#include "platform/Host.h"
#include "screens/SetupSheet.h"
#include "world/ShipStats.h"

namespace fe {
namespace {

using paint::Clamp01;
using paint::Mix;
using paint::Scale;

const Colour kLine{52, 56, 70};
const Colour kMetal{96, 106, 132};

// Darkens a soft-edged box so that text over it reads well.
void Shade(RgbImage& img, const Box& b, float soft, float keep) {
    for (int y = b.top - int(soft); y < b.bottom + int(soft); ++y)
        for (int x = b.left - int(soft); x < b.right + int(soft); ++x) {
            float dx = std::max({b.left - x - 0.5f, x + 0.5f - b.right, 0.f});
            float dy = std::max({b.top - y - 0.5f, y + 0.5f - b.bottom, 0.f});
            float k = 1.f - paint::Smooth(0.f, soft, std::hypot(dx, dy));
            if (k <= 0.f || x < 0 || y < 0 || x >= img.Width() || y >= img.Height()) continue;
            img.Set(x, y, Scale(img.Get(x, y), 1.f - (1.f - keep) * k));
        }
}

RgbImage Background(const Faces& f) {
    RgbImage img(kScreenWidth, kScreenHeight);
    SpaceLook look;
    look.seed = 505;
    look.nebulaA = {20, 80, 120};
    look.nebulaB = {80, 30, 110};
    look.scale = 190.f;
    look.stars = 750;
    DeepSpace(img, {0, 0, kScreenWidth, kScreenHeight}, look);
    Planet(img, -40.f, 470.f, 150.f, {20, 40, 70}, {90, 200, 230}, true, 5);

    // the title plate: the screens black out its middle and write there
    {
        const Box plate{92, 2, 548, 50};
        DropShadow(img, plate, 10.f, 6.f, 0.6f);
        FramedWell(img, plate, 10.f, 6.f, kMetal, {2, 4, 10}, {0, 70, 110});
        for (int side = 0; side < 2; ++side) {
            float cx = side == 0 ? 82.f : 558.f;
            Emboss(img, {int(cx) - 12, 12, int(cx) + 13, 40}, paint::Circle(cx, 26.f, 10.f), Flat({70, 78, 100}), 4.f,
                   false, 0.8f);
            paint::AddGlow(img, cx, 26.f, 9.f, {0, 150, 230});
            paint::AddGlow(img, cx, 26.f, 3.f, {180, 240, 255});
        }
    }
    // a quiet band behind the name panel (the points screen writes here)
    Shade(img, {100, 56, 546, 178}, 16.f, 0.35f);

    // the ship stand
    {
        const Box bay{108, 192, 306, 320};
        DropShadow(img, bay, 10.f, 8.f, 0.6f);
        FramedWell(img, bay, 10.f, 6.f, kMetal, {4, 10, 24}, {0, 60, 100});
        // holographic pad under the ship
        for (int y = 240; y < 300; ++y)
            for (int x = 120; x < 296; ++x) {
                float ex = (x + 0.5f - 207.f) / 78.f, ey = (y + 0.5f - 276.f) / 14.f;
                float q = std::hypot(ex, ey);
                if (q > 1.2f) continue;
                float ring = std::exp(-std::pow((q - 1.f) * 9.f, 2.f));
                float fill = q < 1.f ? 0.25f * (1.f - q) : 0.f;
                img.Add(x, y, Scale(Colour{30, 170, 230}, 0.9f * ring + fill));
            }
        // light rising off the pad
        for (int y = 200; y < 276; ++y)
            for (int x = 130; x < 286; ++x) {
                float ex = std::fabs(x + 0.5f - 207.f) / 78.f;
                if (ex > 1.f) continue;
                float k = (1.f - ex * ex) * std::pow(Clamp01((y - 200.f) / 76.f), 2.f) * 0.12f;
                img.Add(x, y, Scale(Colour{40, 150, 220}, k));
            }
    }

    // the ship data panel (its top stays clear of the points screen's
    // "YOUR POINTS:" line at y 150)
    {
        const Box panel{324, 176, 566, 320};
        DropShadow(img, panel, 10.f, 8.f, 0.6f);
        FramedWell(img, panel, 10.f, 6.f, kMetal, {4, 8, 20}, {0, 60, 100});
        // A row's band starts a pixel above its numbers.
        const int rowsTop = kShipRowY - 1;
        for (int r = 0; r < kShipRows; ++r) {
            const int top = rowsTop + kShipRowPitch * r;
            if (r % 2 == 0)
                for (int y = top; y < top + 16; ++y)
                    for (int x = 333; x < 557; ++x) img.Set(x, y, Mix(img.Get(x, y), Colour{14, 34, 58}, 0.6f));
        }
        // The value, limit and cost of a row stand a few pixels apart: each
        // column gets its own tint, a fine rule on either side and a caption
        // in the strip above the first row.
        struct Column {
            int left, right;
            Colour tint, caption;
            const char* word;
        };
        const int valueLeft = kShipValueX - 3, limitLeft = kShipLimitX - 2, costLeft = kShipCostX - 2;
        const int costRight = kShipCostX + 27;
        const Column columns[3] = {{valueLeft, limitLeft, {20, 80, 120}, {120, 210, 250}, "VALUE"},
                                   {limitLeft, costLeft, {50, 50, 80}, {180, 185, 215}, "LIMIT"},
                                   {costLeft, costRight, {110, 80, 10}, {250, 200, 90}, "COST"}};
        // The captions sit in a dark strip let into the lower half of the
        // panel's top frame, just above the first row.
        const int capTop = 179, rowsBottom = rowsTop + kShipRows * kShipRowPitch;
        int size = 9;
        for (const Column& c : columns) size = std::min(size, FitSize(f.condensed, c.word, 9, c.right - c.left - 3, 0));
        for (const Column& c : columns) {
            for (int y = capTop; y < rowsBottom; ++y)
                for (int x = c.left; x < c.right; ++x)
                    img.Set(x, y,
                            y < rowsTop ? Mix(Colour{4, 8, 18}, c.tint, 0.3f) : Mix(img.Get(x, y), c.tint, 0.42f));
            TextStyle cap = Plain(c.caption);
            TextCentred(img, f.condensed, c.word, size, (c.left + c.right) / 2, rowsTop - 1, cap, 0);
        }
        for (int x : {valueLeft, limitLeft, costLeft, costRight})
            for (int y = capTop; y < rowsBottom; ++y) img.Set(x, y, Mix(img.Get(x, y), Colour{110, 140, 180}, 0.55f));
    }

    // the help lines
    {
        const Box help{96, 364, 424, 430};
        DropShadow(img, help, 8.f, 6.f, 0.5f);
        FramedWell(img, help, 8.f, 5.f, kMetal, {4, 8, 20});
    }
    // the socket of the OK button
    {
        const Box socket{556, 408, 633, 467};
        DropShadow(img, socket, 10.f, 6.f, 0.6f);
        FramedWell(img, socket, 10.f, 5.f, kMetal, {2, 4, 10}, {0, 90, 40});
    }
    // a maker's mark in the free corner
    TextStyle mark = ChromeLook();
    mark.shadowDx = 1;
    mark.shadowDy = 1;
    Text(img, f.bold, "VOIDCRAWL", 22, 440, 360, mark, 1);
    TextStyle sub = Plain({120, 190, 220});
    Text(img, f.condensed, "PILOT REGISTRATION", 10, 443, 376, sub, 2);
    return img;
}

// ------------------------------------------------------------------ panel

RgbImage InputPanel(const Faces& f) {
    const int w = FrameWidth(kSetupNamePanelCell.w), h = FrameHeight(kSetupNamePanelCell.h);
    RgbImage pic(w, h);
    const Box box{0, 0, w, h};
    Emboss(pic, box, paint::RoundedBox(0.5f, 0.5f, w - 0.5f, h - 0.5f, 12.f), Brushed({88, 98, 126}, box, 21), 5.f,
           false, 0.6f);
    // groove under the caption
    Emboss(pic, {8, 6, w - 8, 34}, paint::RoundedBox(10.f, 7.f, w - 10.f, 33.f, 6.f), Flat({40, 46, 64}), 2.f, true,
           0.f);
    TextStyle cap = GoldLook();
    cap.shadowDx = 1;
    cap.shadowDy = 1;
    Text(pic, f.condensed, "ENTER YOUR NAME, PILOT", 16, 22, 27, cap, 1);
    // status lights
    for (int k = 0; k < 3; ++k) {
        float cx = w - 30.f - k * 16.f;
        Emboss(pic, {int(cx) - 7, 12, int(cx) + 8, 28}, paint::Circle(cx, 20.f, 5.f), Flat({30, 30, 36}), 2.f, true);
        Colour lamp = k == 0 ? Colour{60, 255, 110} : (k == 1 ? Colour{255, 190, 40} : Colour{40, 180, 255});
        paint::AddGlow(pic, cx, 20.f, 5.f, lamp);
    }
    // the name field: the name is written at (55, 50) of the panel
    const Box field{44, 40, 452, 84};
    FramedWell(pic, field, 6.f, 3.f, {70, 78, 100}, {3, 10, 22}, {0, 110, 160});
    // rivets
    for (float rx : {12.f, w - 12.f})
        for (float ry : {48.f, 88.f}) {
            Emboss(pic, {int(rx) - 5, int(ry) - 5, int(rx) + 6, int(ry) + 6}, paint::Circle(rx, ry, 3.f),
                   Flat({150, 158, 178}), 2.f, false, 1.f);
        }
    TextStyle small = Plain({150, 160, 190});
    Text(pic, f.condensed, "MAX 13", 9, 460 - f.condensed.Measure("MAX 13", 9, 1), 96, small, 1);
    return pic;
}

// A small square key with a plus; lit when pressed.
RgbImage PlusSign(bool pressed) {
    RgbImage pic(21, 15);
    const Box box{0, 0, 21, 15};
    Emboss(pic, box, paint::RoundedBox(0.5f, 0.5f, 20.5f, 14.5f, 3.f),
           Flat(pressed ? Colour{40, 120, 60} : Colour{60, 70, 92}), 2.f, pressed, 0.6f);
    paint::Sdf plus =
        paint::Union(paint::Segment(5.5f, 7.5f, 15.5f, 7.5f, 1.4f), paint::Segment(10.5f, 3.f, 10.5f, 12.f, 1.4f));
    paint::FillShape(pic, box, paint::Offset(plus, 0.8f), Flat({0, 20, 0}));
    paint::FillShape(pic, box, plus, Flat(pressed ? Colour{220, 255, 220} : Colour{90, 250, 120}));
    return pic;
}

// A chevron button pointing left or right; lit when pressed.
RgbImage ArrowButton(bool leftward, bool pressed) {
    const int w = FrameWidth(kSetupLeftArrowCell.w), h = FrameHeight(kSetupLeftArrowCell.h);
    RgbImage pic(w, h);
    const Box box{0, 0, w, h};
    Emboss(pic, box, paint::RoundedBox(0.5f, 0.5f, w - 0.5f, h - 0.5f, 7.f),
           Brushed(pressed ? Colour{50, 110, 150} : Colour{80, 90, 116}, box, 8), 2.5f, pressed, 0.6f);
    auto chevron = [&](float tipX) {
        float dir = leftward ? 1.f : -1.f;
        return paint::Polygon({tipX, 8.f, tipX + 8.f * dir, 2.5f, tipX + 8.f * dir, 13.5f});
    };
    paint::Sdf icon = leftward ? paint::Union(chevron(9.f), chevron(19.f)) : paint::Union(chevron(32.f), chevron(22.f));
    paint::FillShape(pic, box, paint::Offset(icon, 0.8f), Flat({0, 10, 20}));
    paint::FillShape(pic, box, icon, Flat(pressed ? Colour{255, 255, 255} : Colour{90, 220, 255}));
    return pic;
}

RgbImage OkButton(const Faces& f, bool lit) {
    const int w = FrameWidth(kSetupOkCell.w), h = FrameHeight(kSetupOkCell.h);
    RgbImage pic(w, h);
    const Box box{0, 0, w, h};
    Emboss(pic, box, paint::RoundedBox(0.5f, 0.5f, w - 0.5f, h - 0.5f, 9.f), Brushed({100, 110, 136}, box, 4), 3.f,
           false, 0.7f);
    Colour dome = lit ? Colour{80, 230, 110} : Colour{30, 150, 60};
    Emboss(
        pic, box, paint::RoundedBox(6.f, 6.f, w - 6.f, h - 6.f, 6.f),
        [&](float, float y) { return Mix(Scale(dome, 1.4f), Scale(dome, 0.5f), Clamp01((y - 6.f) / 31.f)); }, 6.f,
        false, 1.f);
    TextStyle s;
    s.top = {255, 255, 255};
    s.bottom = {215, 255, 220};
    s.outline = {0, 40, 10};
    s.outlineWidth = 1;
    TextCentred(pic, f.bold, "OK", 20, w / 2, 29, s, 1);
    return pic;
}

RgbImage Panel(const Faces& f) {
    RgbImage sheet(kSetupSheetWidth, kSetupSheetHeight);
    StripLines(sheet, kSetupNamePanelCell, 1, kLine);
    for (const SheetCell& c : {kSetupPlusCell, kSetupLeftArrowCell, kSetupRightArrowCell, kSetupOkCell})
        StripLines(sheet, c, 2, kLine);
    PutFrame(sheet, kSetupNamePanelCell, 0, InputPanel(f));
    PutFrame(sheet, kSetupPlusCell, 0, PlusSign(false));
    PutFrame(sheet, kSetupPlusCell, 1, PlusSign(true));
    PutFrame(sheet, kSetupLeftArrowCell, 0, ArrowButton(true, false));
    PutFrame(sheet, kSetupLeftArrowCell, 1, ArrowButton(true, true));
    PutFrame(sheet, kSetupRightArrowCell, 0, ArrowButton(false, false));
    PutFrame(sheet, kSetupRightArrowCell, 1, ArrowButton(false, true));
    PutFrame(sheet, kSetupOkCell, 0, OkButton(f, false));
    PutFrame(sheet, kSetupOkCell, 1, OkButton(f, true));
    return sheet;
}

}  // namespace

bool MakeSetup(const std::string& dir, const Faces& f) {
    RgbImage background = Background(f);
    RgbImage panel = Panel(f);
    RgbImage first = ShipStrip(0);
    RgbImage second = ShipStrip(1);
    return WriteFamily(dir, {{"grafik/EnterNameBG.dat", &background},
                             {"grafik/input.dat", &panel},
                             {"grafik/FirAnim.dat", &first},
                             {"grafik/SecAnim.dat", &second}});
}

}  // namespace fe
