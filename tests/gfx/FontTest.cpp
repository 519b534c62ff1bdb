#include "gfx/Font.h"

#include <gtest/gtest.h>

#include <string>

#include "screens/FontPanel.h"
#include "support/FakeHost.h"

namespace {

// The font surface is filled with the glyph number + 1 of each cell, so a
// drawn glyph tells which cell it came from.
class FontTest : public ::testing::Test, public DisplayFixtureBase {
protected:
    void SetUp() override {
        ASSERT_TRUE(StartTestDisplay());
        glyphs = CreateSurface(640, 200, VideoMemory);
        SetSourceColorKey(0, 0, glyphs);
        big.Init(glyphs, 0, 0, 34, 33, 13, 627);
        const char trims[] = "IJWMPEFL";
        const int values[] = {21, 18, 1, 5, 15, 17, 17, 17};
        for (int i = 0; i < 8; ++i) big.AddTrim(static_cast<uint8_t>(trims[i]), values[i]);
        for (int g = 0; g < 114; ++g) {
            int32_t l, t, r, b;
            big.GlyphRect(static_cast<char>(g + 32), &l, &t, &r, &b);
            FillRect(l, t, r, b, glyphs, static_cast<uint8_t>(g + 1));
        }
        ClearSurface(backBuffer, 0);
    }
    void TearDown() override {
        ReleaseSurface(glyphs);
        ShutdownDisplay();
    }
    uint8_t BackAt(int x, int y) const { return backBuffer->pixels[y * 640 + x]; }
    Surface glyphs = nullptr;
    Font big;
};

TEST_F(FontTest, AdvancesFollowTheTrimOfTheCharacterDrawn) {
    big.DrawText(backBuffer, 100, 100, "IJ", TextExtent::Whole);
    EXPECT_EQ(BackAt(100, 100), 'I' - 32 + 1);
    EXPECT_EQ(BackAt(113, 100), 'J' - 32 + 1);
    ClearSurface(backBuffer, 0);
    big.DrawText(backBuffer, 100, 100, "WWA", TextExtent::Whole);
    EXPECT_EQ(BackAt(133, 100), 'W' - 32 + 1);
    EXPECT_EQ(BackAt(166, 100), 'A' - 32 + 1);
    // n characters make n + 1 blits, the last for the terminator.
    EXPECT_EQ(big.lastWidth, 4 * 32);
}

TEST_F(FontTest, TextWidthIsWhereTheNextCharacterStarts) {
    EXPECT_EQ(big.TextWidth(""), 0);
    EXPECT_EQ(big.TextWidth("IJA"), 13 + 16 + 21);  // I and J trimmed, A by the default
    big.DrawText(backBuffer, 100, 100, "IJAB", TextExtent::Whole);
    EXPECT_EQ(BackAt(100 + big.TextWidth("IJA"), 100), 'B' - 32 + 1);
}

TEST_F(FontTest, PanelWidthsMeasureTheCapitalsDrawnHoweverLong) {
    EXPECT_EQ(PanelTextWidth(big, "ij"), big.TextWidth("IJ"));
    const std::string text(450, 'w');  // longer than the panels' buffer of capitals
    EXPECT_EQ(PanelTextWidth(big, text.c_str()), 450 * big.Advance('W'));
    EXPECT_NE(big.Advance('W'), big.Advance('w'));
}

TEST_F(FontTest, ExtraCharsLimitsTheCount) {
    big.DrawText(backBuffer, 0, 0, "ABCDEFGHIJ", FirstCharAnd(3));
    EXPECT_EQ(BackAt(0, 0), 'A' - 32 + 1);
    EXPECT_EQ(BackAt(21 * 3, 0), 'D' - 32 + 1);
    EXPECT_EQ(BackAt(63 + 32, 0), 0);  // nothing after D: E would start at 84, glyph D ends at 94
}

TEST_F(FontTest, HighCodesDrawNothingButStillAdvance) {
    const char text[] = {'A', static_cast<char>(0xC5), 'B', 0};
    big.DrawText(backBuffer, 0, 0, text, TextExtent::Whole);
    EXPECT_EQ(BackAt(35, 0), 0);  // past A, before B: the high code drew nothing
    EXPECT_EQ(BackAt(42, 0), 'B' - 32 + 1);
}

TEST_F(FontTest, NumbersAndTrimLimit) {
    big.DrawNumber(backBuffer, 0, 0, -5);
    EXPECT_EQ(BackAt(0, 0), '-' - 32 + 1);
    EXPECT_EQ(BackAt(21, 0), '5' - 32 + 1);
    EXPECT_STREQ(big.numberText, "-5");
    big.DrawNumber(backBuffer, 0, 100, 0);
    EXPECT_STREQ(big.numberText, "0");
    big.DrawNumber(backBuffer, 0, 100, -2147483647 - 1);
    EXPECT_STREQ(big.numberText, "-2147483648");
    Font f;
    f.Init(glyphs, 0, 0, 15, 15, 9, 630);
    for (int i = 0; i < 21; ++i) f.AddTrim(static_cast<uint8_t>('A' + i), 1);
    EXPECT_EQ(f.trimCount, 20);
    EXPECT_EQ(f.Advance('U'), 6);  // the 21st trim was ignored
    f.AddTrim('4', 7);
    EXPECT_EQ(f.Advance('4'), 6);
}

}  // namespace
