// The options, two-players and info screens as the player sees them, on the
// whole game: every text they write, read back through the panel screens'
// text watcher, checked against the picture presented with its palette:
// each text reads at 4.5:1 or better against the ground it is drawn on, no
// text leaves the screen or its box or runs into another, every entry's hit
// box is the well drawn for it and lights when the pointer is on it, and
// the info screen names the keys as they are bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "screens/FontPanel.h"
#include "screens/InfoSheet.h"
#include "support/GameHarness.h"
#include "support/MemoryNetLink.h"

namespace {

struct SeenText {
    Font* font;
    ScreenBox cells;  // where the font's cells lie
    ScreenBox ink;    // the pixels it drew, outline and shadow too
    std::string text;
};

double Luminance(const PaletteEntry& c) {
    auto channel = [](uint8_t v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red) + 0.7152 * channel(c.green) + 0.0722 * channel(c.blue);
}

bool Overlap(const ScreenBox& a, const ScreenBox& b) {
    return a.x < b.Right() && b.x < a.Right() && a.y < b.Bottom() && b.y < a.Bottom();
}
bool Inside(const ScreenBox& inner, const ScreenBox& outer) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.Right() <= outer.Right() &&
           inner.Bottom() <= outer.Bottom();
}
ScreenBox Shrunk(const ScreenBox& b, int32_t by) { return {b.x + by, b.y + by, b.w - 2 * by, b.h - 2 * by}; }
std::string Where(const ScreenBox& b) {
    return "(" + std::to_string(b.x) + ", " + std::to_string(b.y) + ", " + std::to_string(b.w) + " x " +
           std::to_string(b.h) + ")";
}

// A text drawn alone on a clear picture: the pixels its font puts down.
class Alone {
public:
    Alone() : surface_(CreateSurface(kScreenWidth, kScreenHeight, SystemMemory)) {}
    ~Alone() { ReleaseSurface(surface_); }
    const uint8_t* Draw(const SeenText& t) {
        ClearSurface(surface_, 0);
        t.font->DrawText(surface_, t.cells.x, t.cells.y, t.text.c_str(), TextExtent::Whole);
        return surface_->pixels;
    }

private:
    Surface surface_;
};

void Watch(const PanelText& t, void* context) {
    static_cast<std::vector<SeenText>*>(context)->push_back(
        SeenText{const_cast<Font*>(t.font), {t.x, t.y, t.w, t.h}, {}, t.text});
}

// The colour that outlines and shadows a font's letters: its darkest.
uint8_t OutlineIndex(const Font& font, const PaletteEntry* palette) {
    int best = -1;
    const SurfaceData& s = *font.surface;
    for (int32_t i = 0; i < s.width * s.height; ++i) {
        const uint8_t p = s.pixels[i];
        if (p != 0 && (best < 0 || Luminance(palette[p]) < Luminance(palette[best]))) best = p;
    }
    return static_cast<uint8_t>(best);
}

class PanelScreensTest : public testing::Test {
protected:
    void SetUp() override {
        path_ = std::filesystem::absolute("settings.ini").string();
        h.host.KeepSettings(Settings{}, path_);
        h.game->online.link = &link_;
        ASSERT_TRUE(h.Start());
        h.Passes(140);  // the menu's items have slid in
    }
    void Options() {
        h.Tap(DIK_O);
        h.Passes(5);
        ASSERT_EQ(h.game->state, GameState::Options);
    }
    void TwoPlayers() {
        h.Click(312, 215);
        h.Passes(5);
        ASSERT_EQ(h.game->state, GameState::TwoPlayers);
    }
    void Info() {
        h.Click(320, 375);
        h.Passes(5);
        ASSERT_EQ(h.game->state, GameState::Info);
    }
    // Esc, and the menu's items slide in again.
    void BackToMenu() {
        h.Tap(DIK_ESCAPE);
        h.Passes(140);
        ASSERT_EQ(h.game->state, GameState::MainMenu);
    }
    void Click(const ScreenBox& b) { h.Click(b.x + b.w / 2, b.y + b.h / 2); }
    // The pointer where no text is, so that it covers none.
    void PointerAside() {
        h.host.MoveMouseTo(kScreenWidth - 3, kScreenHeight / 2);
        h.Pass();
    }
    // One pass, with every text it wrote and where its ink went.
    std::vector<SeenText> Frame() {
        std::vector<SeenText> seen;
        WatchPanelText(Watch, &seen);
        h.Pass();
        WatchPanelText(nullptr, nullptr);
        for (SeenText& t : seen) {
            const uint8_t* ink = alone_.Draw(t);
            int32_t left = kScreenWidth, top = kScreenHeight, right = 0, bottom = 0;
            for (int32_t y = 0; y < kScreenHeight; ++y)
                for (int32_t x = 0; x < kScreenWidth; ++x)
                    if (ink[y * kScreenWidth + x] != 0) {
                        left = std::min(left, x), right = std::max(right, x + 1);
                        top = std::min(top, y), bottom = std::max(bottom, y + 1);
                    }
            t.ink =
                right > left ? ScreenBox{left, top, right - left, bottom - top} : ScreenBox{t.cells.x, t.cells.y, 0, 0};
        }
        return seen;
    }
    // The contrast of a text's letters (its font's own colours, outline and
    // shadow left out) against the ground right round them (within
    // kGroundMargin of their ink), each the mean relative luminance of its
    // pixels, in the colours presented.
    double Contrast(const SeenText& t) {
        constexpr int32_t kGroundMargin = 2;
        const uint8_t* frame = h.host.LastPixels();
        const PaletteEntry* palette = h.host.LastPalette();
        const uint8_t* ink = alone_.Draw(t);
        const uint8_t outline = OutlineIndex(*t.font, palette);
        const ScreenBox near = Shrunk(t.ink, -kGroundMargin);
        double letters = 0, ground = 0;
        int letterCount = 0, groundCount = 0;
        for (int32_t y = std::max(0, near.y); y < std::min(kScreenHeight, near.Bottom()); ++y)
            for (int32_t x = std::max(0, near.x); x < std::min(kScreenWidth, near.Right()); ++x) {
                const int32_t at = y * kScreenWidth + x;
                if (ink[at] == 0) {
                    ground += Luminance(palette[frame[at]]);
                    ++groundCount;
                } else if (ink[at] != outline) {
                    letters += Luminance(palette[frame[at]]);
                    ++letterCount;
                }
            }
        if (letterCount == 0 || groundCount == 0) return 0;
        const double a = letters / letterCount, b = ground / groundCount;
        return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
    }
    // Every text of the frame reads well; returns how many were checked.
    size_t ExpectReadable(const std::vector<SeenText>& texts, const char* screen) {
        for (const SeenText& t : texts) {
            const double ratio = Contrast(t);
            EXPECT_GE(ratio, 4.5) << screen << ": \"" << t.text << "\" at " << Where(t.cells) << " reads at " << ratio
                                  << ":1";
        }
        return texts.size();
    }
    // No text leaves the screen or runs into another.
    void ExpectApart(const std::vector<SeenText>& texts, const char* screen) {
        const ScreenBox screenBox{0, 0, kScreenWidth, kScreenHeight};
        for (size_t i = 0; i < texts.size(); ++i) {
            EXPECT_TRUE(Inside(texts[i].ink, screenBox)) << screen << ": \"" << texts[i].text << "\" off the screen";
            for (size_t j = i + 1; j < texts.size(); ++j)
                EXPECT_FALSE(Overlap(texts[i].ink, texts[j].ink))
                    << screen << ": \"" << texts[i].text << "\" " << Where(texts[i].ink) << " runs into \""
                    << texts[j].text << "\" " << Where(texts[j].ink);
        }
    }
    // A text that starts inside a box (a panel, an entry) ends there too,
    // clear of its frame.
    void ExpectWithin(const std::vector<SeenText>& texts, const ScreenBox& box, int32_t frame, const char* what) {
        const ScreenBox inner = Shrunk(box, frame);
        for (const SeenText& t : texts)
            if (box.Contains(t.ink.x, t.ink.y)) {
                EXPECT_TRUE(Inside(t.ink, inner))
                    << what << " " << Where(box) << ": \"" << t.text << "\" " << Where(t.ink) << " crosses its frame";
            }
    }
    // The entries: on the screen and apart; each one's well is drawn where
    // its hit box is (a metal rim brighter than the glass inside and the
    // panel around it), and the pointer on it lights that rim.
    void ExpectEntries(const std::vector<int32_t>& entries, const ScreenBox& (*box)(int32_t), const Surface background,
                       const char* screen) {
        const PaletteEntry* palette = h.host.LastPalette();
        for (size_t i = 0; i < entries.size(); ++i) {
            const int32_t e = entries[i];
            const ScreenBox b = box(e);
            EXPECT_TRUE(Inside(b, ScreenBox{0, 0, kScreenWidth, kScreenHeight})) << screen << " entry " << e;
            for (size_t j = i + 1; j < entries.size(); ++j)
                EXPECT_FALSE(Overlap(b, box(entries[j])))
                    << screen << ": entries " << e << " and " << entries[j] << " overlap";
            auto ring = [&](const ScreenBox& r) {  // mean luminance of the background along r's edge
                double sum = 0;
                int n = 0;
                for (int32_t x = r.x + kEntryRadius; x < r.Right() - kEntryRadius; ++x)
                    for (int32_t y : {r.y, r.Bottom() - 1})
                        sum += Luminance(palette[background->pixels[y * kScreenWidth + x]]), ++n;
                return sum / n;
            };
            const double rim = ring(Shrunk(b, 1)), glass = ring(Shrunk(b, kEntryRim + 2)), around = ring(Shrunk(b, -3));
            EXPECT_GT(rim, glass) << screen << " entry " << e << ": no well's rim at its hit box " << Where(b);
            EXPECT_GT(rim, around) << screen << " entry " << e << ": no well's rim at its hit box " << Where(b);

            h.host.MoveMouseTo(b.x + b.w / 2, b.y + b.h / 2);
            h.Passes(2);  // the screen sees the pointer where the last pass left it
            const uint8_t* frame = h.host.LastPixels();
            int lit = 0, edge = 0;
            // its top and left edges (the pointer stands over the others)
            for (int32_t x = b.x + 1; x < b.Right() - 1; ++x)
                lit += frame[b.y * kScreenWidth + x] == kPanelLitIndex, ++edge;
            for (int32_t y = b.y + 1; y < b.Bottom() - 1; ++y)
                lit += frame[y * kScreenWidth + b.x] == kPanelLitIndex, ++edge;
            EXPECT_EQ(lit, edge) << screen << " entry " << e << " " << Where(b) << ": the pointer on it lights " << lit
                                 << " of its frame's " << edge << " pixels";
        }
        PointerAside();
    }

    // The link first: the game, which holds it, is shut down before it goes.
    MemoryWire wire_{0, 0, 0, 1};
    MemoryNetLink link_{&wire_, &wire_};
    GameHarness h;
    std::string path_;
    Alone alone_;
};

// Every text on each screen and in each state (idle, under the pointer,
// waiting for a key over a whole blink, typing an address) reads at 4.5:1
// or better on the ground the screen draws it on.
TEST_F(PanelScreensTest, EveryTextReadsAtLeastFourAndAHalfToOneOnItsGround) {
    constexpr int kBlinkPasses = 50;
    Options();
    PointerAside();
    EXPECT_GT(ExpectReadable(Frame(), "options"), 50u);
    h.host.MoveMouseTo(OptionsScreen::EntryBox(OptionsScreen::kMuteEntry).x + 4,
                       OptionsScreen::EntryBox(OptionsScreen::kMuteEntry).y + 4);
    ExpectReadable(Frame(), "options, an entry lit");
    Click(OptionsScreen::EntryBox(OptionsScreen::KeyEntry(0, kKeyLeft)));
    ASSERT_EQ(h.game->optionsScreen.waiting, OptionsScreen::KeyEntry(0, kKeyLeft));
    PointerAside();
    bool sawPrompt = false;
    for (int pass = 0; pass < kBlinkPasses; ++pass) {
        const std::vector<SeenText> texts = Frame();
        for (const SeenText& t : texts) sawPrompt = sawPrompt || t.text == "PRESS A KEY";
        ExpectReadable(texts, "options, waiting for a key");
    }
    EXPECT_TRUE(sawPrompt);
    h.Tap(DIK_ESCAPE);  // the wait ends
    Click(OptionsScreen::EntryBox(OptionsScreen::kPageEntry));
    PointerAside();
    EXPECT_GT(ExpectReadable(Frame(), "options, online"), 20u);
    Click(OptionsScreen::EntryBox(OptionsScreen::kServerEntry));
    h.Tap(0x23);  // h
    PointerAside();
    for (int pass = 0; pass < kBlinkPasses; ++pass) ExpectReadable(Frame(), "options, typing the server");
    h.Tap(DIK_ESCAPE);  // the typing ends
    BackToMenu();

    TwoPlayers();
    PointerAside();
    EXPECT_GT(ExpectReadable(Frame(), "two players"), 15u);
    Click(TwoPlayersScreen::EntryBox(TwoPlayersScreen::kAddressField));
    h.Tap(0x1E);  // a
    PointerAside();
    for (int pass = 0; pass < kBlinkPasses; ++pass) ExpectReadable(Frame(), "two players, typing an address");
    BackToMenu();

    Info();
    PointerAside();
    EXPECT_GT(ExpectReadable(Frame(), "info"), 40u);
}

// Nothing runs off the screen or into another text or out of its box; the
// entries lie apart, each on its well, and light under the pointer.
TEST_F(PanelScreensTest, TextsStayInTheirBoxesAndEveryHitBoxIsItsDrawnEntry) {
    using O = OptionsScreen;
    Options();
    // Both pages of the lower panel: each page's entries on its picture.
    for (const auto& [page, picture, name] :
         {std::tuple{O::Page::Controls, h.game->optionsScreen.background, "options"},
          std::tuple{O::Page::Online, h.game->optionsScreen.onlineBackground, "options, online"}}) {
        if (h.game->optionsScreen.page != page) Click(O::EntryBox(O::kPageEntry));
        ASSERT_EQ(h.game->optionsScreen.page, page);
        PointerAside();
        std::vector<SeenText> texts = Frame();
        ExpectApart(texts, name);
        for (const ScreenBox& panel : {O::kDisplayPanel, O::kSoundPanel, O::kControlsPanel})
            ExpectWithin(texts, panel, kPanelRim, name);
        std::vector<int32_t> entries;
        for (int32_t e = 0; e < O::kEntryCount; ++e) {
            if (!O::OnPage(e, page)) continue;
            ExpectWithin(texts, O::EntryBox(e), 1, name);
            entries.push_back(e);
        }
        ExpectWithin(texts, kPanelFootWell, kPanelRim - 1, "the foot");
        ExpectEntries(entries, &O::EntryBox, picture, name);
    }
    BackToMenu();
    std::vector<SeenText> texts;

    using T = TwoPlayersScreen;
    TwoPlayers();
    PointerAside();
    texts = Frame();
    ExpectApart(texts, "two players");
    ExpectWithin(texts, T::kPanel, kPanelRim, "two players panel");
    for (int32_t e = 0; e < T::kEntryCount; ++e) ExpectWithin(texts, T::EntryBox(e), 1, "two players entry");
    ExpectWithin(texts, T::kDelayValue, 1, "the delay");
    std::vector<int32_t> entries;
    for (int32_t e = 0; e < T::kEntryCount; ++e) entries.push_back(e);
    ExpectEntries(entries, &T::EntryBox, h.game->twoPlayersScreen.background, "two players");
    BackToMenu();

    Info();
    PointerAside();
    texts = Frame();
    ExpectApart(texts, "info");
    for (const ScreenBox& panel : {InfoLayout::kGoalPanel, InfoLayout::kKeysPanel, InfoLayout::kFoodPanel})
        ExpectWithin(texts, panel, kPanelRim, "info panel");
    for (int p = 0; p < 2; ++p)
        for (int a = 0; a < kPlayKeyCount; ++a) ExpectWithin(texts, InfoLayout::KeyWell(p, a), 1, "info key");
}

// The info screen names each key as the settings bind it: one rebound on
// the options screen shows there under its new name.
TEST_F(PanelScreensTest, TheInfoScreenShowsAKeyReboundOnTheOptionsScreen) {
    auto keyShown = [&](int player, int action) {
        std::string shown;
        for (const SeenText& t : Frame())
            if (Inside(t.ink, InfoLayout::KeyWell(player, action))) shown += t.text;
        return shown;
    };
    Info();
    EXPECT_EQ(keyShown(0, kKeyLeft), "LEFT");
    EXPECT_EQ(keyShown(1, kKeyJump), "LEFT SHIFT");
    BackToMenu();

    Options();
    Click(OptionsScreen::EntryBox(OptionsScreen::KeyEntry(0, kKeyLeft)));
    h.Tap(0x10);  // Q
    Click(OptionsScreen::EntryBox(OptionsScreen::KeyEntry(1, kKeyJump)));
    h.Tap(0x4C);  // keypad 5
    ASSERT_EQ(h.game->optionsScreen.waiting, -1);
    BackToMenu();

    Info();
    EXPECT_EQ(keyShown(0, kKeyLeft), "Q");
    EXPECT_EQ(keyShown(1, kKeyJump), "KEYPAD 5");
    EXPECT_EQ(keyShown(0, kKeyRight), "RIGHT");  // the others as they were
}

}  // namespace
