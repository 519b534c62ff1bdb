// The panel screens' pictures: "bgOptions.dat" and "bgOnline.dat" (the
// options screen's two pages, on one palette) and
// "bgTwoPlay.dat" (the two-players screen), each on a palette of its own,
// and the parts they share with the info screen's: the set-up screen's
// title plate, framed wells for the panels and every entry, the well of
// the lines at the foot and the BACK button's socket. The screens write
// every word over them in the game's bitmap fonts, and light an entry's
// frame over its metal (screens/PanelSheet.h).
#include <initializer_list>

#include "Canvas.h"
#include "FrontEndArt.h"
#include "platform/Host.h"
#include "screens/OptionsSheet.h"
#include "screens/TwoPlayersSheet.h"

namespace fe {
namespace {

const Colour kMetal{96, 106, 132};
const Colour kEntryMetal{70, 78, 100};
const Colour kGlass{4, 8, 20};
const Colour kEntryGlass{3, 8, 18};
const Colour kPanelGlow{0, 60, 100};
const Colour kEntryGlow{0, 40, 64};

Box ToBox(const ScreenBox& b) { return {b.x, b.y, b.Right(), b.Bottom()}; }

// The colours the screens light their entries with are the shared ramps'.
static_assert(kPanelLitIndex >= ramp::kCyan && kPanelLitIndex < ramp::kCyan + ramp::kRampLength);
static_assert(kPanelWaitIndex >= ramp::kGold && kPanelWaitIndex < ramp::kGold + ramp::kRampLength);
static_assert(kPanelBarOnIndex >= ramp::kGold && kPanelBarOnIndex < ramp::kGold + ramp::kRampLength);
static_assert(kPanelBarOffIndex >= ramp::kGrey && kPanelBarOffIndex < ramp::kGrey + ramp::kRampLength);
static_assert(kPanelBarMutedIndex >= ramp::kGrey && kPanelBarMutedIndex < ramp::kGrey + ramp::kRampLength);

// Either page of the options screen: the top panels and the lower panel
// with the page's own wells.
RgbImage OptionsBackground(OptionsLayout::Page page) {
    using L = OptionsLayout;
    RgbImage img(kScreenWidth, kScreenHeight);
    PanelBackdrop(img, 606, false);
    PanelTitlePlate(img);
    for (const ScreenBox& panel : {L::kDisplayPanel, L::kSoundPanel, L::kControlsPanel}) PanelWell(img, panel);
    for (int32_t e = 0; e < L::kEntryCount; ++e)
        if (e != L::kBackEntry && L::OnPage(e, page)) EntryWell(img, kOptionsBoxes.box[e]);
    EntryWell(img, L::kVolumeWell);
    FootWell(img);
    BackSocket(img);
    return img;
}

RgbImage TwoPlayersBackground() {
    using L = TwoPlayersLayout;
    RgbImage img(kScreenWidth, kScreenHeight);
    PanelBackdrop(img, 707, true);
    PanelTitlePlate(img);
    PanelWell(img, L::kPanel);
    for (int32_t e = 0; e < L::kEntryCount; ++e)
        if (e != L::kBackEntry) EntryWell(img, kTwoPlayersBoxes.box[e]);
    EntryWell(img, L::kDelayLabel);
    EntryWell(img, L::kDelayValue);
    FootWell(img);
    BackSocket(img);
    return img;
}

}  // namespace

void PanelBackdrop(RgbImage& img, uint32_t seed, bool planetLeft) {
    SpaceLook look;
    look.seed = seed;
    look.nebulaA = {20, 80, 120};
    look.nebulaB = {80, 30, 110};
    look.scale = 190.f;
    look.stars = 750;
    DeepSpace(img, {0, 0, img.Width(), img.Height()}, look);
    if (planetLeft)
        Planet(img, -40.f, 470.f, 150.f, {20, 40, 70}, {90, 200, 230}, true, seed);
    else
        Planet(img, 680.f, 500.f, 140.f, {40, 16, 60}, {170, 110, 230}, false, seed);
}

void PanelTitlePlate(RgbImage& img) {
    const Box plate = ToBox(kPanelTitlePlate);
    DropShadow(img, plate, 10.f, 6.f, 0.6f);
    FramedWell(img, plate, 10.f, 6.f, kMetal, {2, 4, 10}, {0, 70, 110});
    for (int side = 0; side < 2; ++side) {
        const float cx = side == 0 ? plate.left - 10.f : plate.right + 10.f, cy = (plate.top + plate.bottom) / 2.f;
        Emboss(img, {int(cx) - 12, int(cy) - 14, int(cx) + 13, int(cy) + 14}, paint::Circle(cx, cy, 10.f),
               Flat({70, 78, 100}), 4.f, false, 0.8f);
        paint::AddGlow(img, cx, cy, 9.f, {0, 150, 230});
        paint::AddGlow(img, cx, cy, 3.f, {180, 240, 255});
    }
}

void PanelWell(RgbImage& img, const ScreenBox& box) {
    const Box b = ToBox(box);
    DropShadow(img, b, static_cast<float>(kPanelRadius), 8.f, 0.6f);
    FramedWell(img, b, static_cast<float>(kPanelRadius), static_cast<float>(kPanelRim), kMetal, kGlass, kPanelGlow);
}

void EntryWell(RgbImage& img, const ScreenBox& box) {
    FramedWell(img, ToBox(box), static_cast<float>(kEntryRadius), static_cast<float>(kEntryRim), kEntryMetal,
               kEntryGlass, kEntryGlow);
}

void FootWell(RgbImage& img) {
    const Box b = ToBox(kPanelFootWell);
    DropShadow(img, b, 8.f, 6.f, 0.5f);
    FramedWell(img, b, 8.f, 5.f, kMetal, kGlass);
}

void BackSocket(RgbImage& img) {
    const Box b = ToBox(kPanelBackBox);
    DropShadow(img, b, 8.f, 6.f, 0.6f);
    FramedWell(img, b, 8.f, static_cast<float>(kEntryRim) + 2.f, kMetal, {2, 6, 4}, {0, 90, 40});
}

bool MakeOptions(const std::string& dir) {
    RgbImage background = OptionsBackground(OptionsLayout::Page::Controls);
    RgbImage online = OptionsBackground(OptionsLayout::Page::Online);
    return WriteFamily(dir, {{"grafik/bgOptions.dat", &background}, {"grafik/bgOnline.dat", &online}});
}

bool MakeTwoPlayers(const std::string& dir) {
    RgbImage background = TwoPlayersBackground();
    return WriteFamily(dir, {{"grafik/bgTwoPlay.dat", &background}});
}

}  // namespace fe
