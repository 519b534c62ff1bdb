#pragma once
// Shared tools of the front-end pictures (menu, high scores, info, set-up):
// strip layout, deep-space backdrops, embossed metal, text in true colour,
// and writing a family of pictures that share one palette.
#include <string>
#include <vector>

#include "Canvas.h"
#include "Paint.h"
#include "gfx/SheetCell.h"
#include "screens/PanelSheet.h"

namespace fe {

using paint::Box;
using paint::Colour;
using paint::RgbImage;
using paint::TextStyle;

// ------------------------------------------------------------ sprite strips

// Picture size of one frame of a strip set up with width w and height h.
inline int FrameWidth(int w) { return w - 1; }
inline int FrameHeight(int h) { return h - 1; }
// Puts `pic` ((w-1) x (h-1)) as frame k of the strip at (srcX, srcY): one
// pixel inside the cell whose corner is (srcX + k*w, srcY). The whole cell
// picture is replaced, transparent pixels included.
void PutFrame(RgbImage& sheet, int srcX, int srcY, int w, int h, int frame, const RgbImage& pic);
// The separator lines of a strip of `frames` cells: columns srcX + k*w for
// k = 0..frames, and rows srcY and srcY + h.
void StripLines(RgbImage& sheet, int srcX, int srcY, int w, int h, int frames, Colour c);
// The same for a strip the game cuts as a SheetCell.
inline void PutFrame(RgbImage& sheet, const SheetCell& cell, int frame, const RgbImage& pic) {
    PutFrame(sheet, cell.x, cell.y, cell.w, cell.h, frame, pic);
}
inline void StripLines(RgbImage& sheet, const SheetCell& cell, int frames, Colour c) {
    StripLines(sheet, cell.x, cell.y, cell.w, cell.h, frames, c);
}

// ------------------------------------------------------------- backgrounds

struct SpaceLook {
    Colour top{2, 3, 12}, bottom{6, 2, 18};  // base gradient
    Colour nebulaA{70, 20, 110};             // main cloud colour
    Colour nebulaB{10, 70, 120};             // second cloud colour
    float nebulaAmount = 1.f;
    float scale = 180.f;  // cloud size in pixels
    int stars = 900;
    uint32_t seed = 1;
};
// Fills `box` with a star field over coloured clouds.
void DeepSpace(RgbImage& img, const Box& box, const SpaceLook& look);
// A lit planet with an atmosphere rim; `bands` adds gas-giant stripes.
void Planet(RgbImage& img, float cx, float cy, float r, Colour dark, Colour light, bool bands, uint32_t seed);

// A w x h piece at (left, top) of an indexed picture on the shared palette,
// in true colour (index 0 stays clear): to show play sprites on a screen.
RgbImage FromShared(const Canvas& c, int left, int top, int w, int h);
// The same for frame k's picture of a strip of play sprites.
RgbImage FromShared(const Canvas& c, const SheetCell& cell, int frame);

// -------------------------------------------------------------- metal work

// Emboss a shape: inside pixels get `face(x, y)`; within `bevel` pixels of
// the edge the surface slopes away and is lit from the upper left (raised)
// or from the lower right (`sunken`). `gloss` adds a specular glint.
void Emboss(RgbImage& img, const Box& box, const paint::Sdf& shape, const paint::ColourFn& face, float bevel,
            bool sunken = false, float gloss = 0.5f);
inline paint::ColourFn Flat(Colour c) {
    return [c](float, float) { return c; };
}
// Brushed metal: streaks across, a sheen from the top of `box`.
paint::ColourFn Brushed(Colour base, const Box& box, uint32_t seed = 5);
// A raised metal rim around a dark glassy well (rounded rectangle).
void FramedWell(RgbImage& img, const Box& box, float radius, float rim, Colour metal, Colour glass,
                Colour glowEdge = {0, 0, 0});
// Smoked glass over the picture inside a rounded box (keeping `keep` of the
// light behind and adding `tint`), with a thin metal rim.
void GlassPanel(RgbImage& img, const Box& box, float radius, Colour tint, float keep);
// Soft dark shadow under a box (to lift panels off the background).
void DropShadow(RgbImage& img, const Box& box, float radius, float softness, float strength);

// -------------------------------------------------------------------- text

// The faces every front-end picture uses.
struct Faces {
    paint::TextFace bold{paint::FontFile("DejaVuSans-Bold.ttf")};
    paint::TextFace condensed{paint::FontFile("DejaVuSansCondensed-Bold.ttf")};
    paint::TextFace book{paint::FontFile("DejaVuSans.ttf")};
    paint::TextFace narrow{paint::FontFile("DejaVuSansCondensed.ttf")};
    paint::TextFace serif{paint::FontFile("DejaVuSerifCondensed-Bold.ttf")};
    bool Ok() const { return bold.Ok() && condensed.Ok() && book.Ok() && narrow.Ok() && serif.Ok(); }
};

// Draws `text` with its baseline at y, left edge at x. Returns the width.
int Text(RgbImage& img, const paint::TextFace& face, const std::string& text, int size, int x, int y,
         const TextStyle& style, int tracking = 0);
// The same, centred on cx.
int TextCentred(RgbImage& img, const paint::TextFace& face, const std::string& text, int size, int cx, int y,
                const TextStyle& style, int tracking = 0);
// Largest size (up to maxSize) at which `text` is at most `width` wide.
int FitSize(const paint::TextFace& face, const std::string& text, int maxSize, int width, int tracking = 0);
// The three difficulty words and the one glyph size they share on the menu
// and on the high-score table's bar: the largest at which each fits its
// label in both places.
extern const char* const kDifficultyWords[3];
int DifficultyWordSize(const Faces& f);
// Plain text in one colour (no outline), for body copy.
TextStyle Plain(Colour c);
// Word-wrapped copy from baseline y; returns the baseline after the last line.
int Paragraph(RgbImage& img, const paint::TextFace& face, const std::string& text, int size, int x, int y, int width,
              int lineHeight, const TextStyle& style);

// Ready-made looks.
TextStyle GoldLook();
TextStyle ChromeLook();
TextStyle CyanGlowLook();

// ----------------------------------------------------------------- output

struct Picture {
    std::string file;  // relative to the output directory, e.g. "grafik/hiscore.dat"
    const RgbImage* image;
};
// Builds one palette for all the pictures (shared upper half, index 0 black,
// `fixed` entries as given, the rest of 1..127 chosen from the pictures) and
// writes each of them with it.
struct FixedEntry {
    int index;
    Rgb colour;
};
bool WriteFamily(const std::string& dir, const std::vector<Picture>& pictures,
                 const std::vector<FixedEntry>& fixed = {});

// The 16-frame turning ship strip of ship type 0 or 1 (2592 x 82).
RgbImage ShipStrip(int ship);

// The generators of each screen.
bool MakePointer(const std::string& dir, const Faces& faces);
bool MakeMenu(const std::string& dir, const Faces& faces);
bool MakeHighScores(const std::string& dir, const Faces& faces);
bool MakeInfo(const std::string& dir, const Faces& faces);
bool MakeSetup(const std::string& dir, const Faces& faces);
bool MakeOptions(const std::string& dir);
bool MakeTwoPlayers(const std::string& dir);

// ------------------------------------------------------------ panel screens

// What the options, two-players and info screens are painted of, in the
// set-up screen's metal: its title plate with the two lit studs, a panel
// (a framed dark well on its shadow), an entry's small well, the well of
// the lines at the foot, and the BACK button's socket.
void PanelTitlePlate(RgbImage& img);
void PanelWell(RgbImage& img, const ScreenBox& box);
void EntryWell(RgbImage& img, const ScreenBox& box);
void FootWell(RgbImage& img);
void BackSocket(RgbImage& img);
// The deep space behind a panel screen, with a world low in one corner.
void PanelBackdrop(RgbImage& img, uint32_t seed, bool planetLeft);

}  // namespace fe
