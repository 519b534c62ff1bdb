#pragma once
// The glyph grids, proportional trims and sheet sizes of the game's three
// bitmap fonts.
// The game sets its Fonts up from these, and the data tool draws the font
// sheets to them and measures level titles with them, so a title is
// measured with exactly the advances the game draws it with.

struct FontMetrics {
    static constexpr int kMaxTrims = 8;

    int cellWidth, cellHeight;
    int defaultTrim;
    int wrapWidth;
    const char* trimmed;          // the characters with a trim of their own...
    int trims[kMaxTrims];         // ...and their trims, in the same order
    int sheetWidth, sheetHeight;  // the font's picture

    // Pixels the pen moves on after `c` (as Font::Advance).
    constexpr int Advance(char c) const {
        for (int i = 0; i < kMaxTrims && trimmed[i] != '\0'; ++i)
            if (trimmed[i] == c) return cellWidth - trims[i];
        return cellWidth - defaultTrim;
    }
    // The pen's travel over the whole text. Every glyph's ink stays left of
    // its advance, so the text's ink lies within this width.
    constexpr int TextWidth(const char* text) const {
        int width = 0;
        for (const char* p = text; *p != '\0'; ++p) width += Advance(*p);
        return width;
    }
};

// Gold headlines ("ImpFont22").
inline constexpr FontMetrics kBigFontMetrics{34, 33, 13, 627, "IJWMPEFL", {21, 18, 1, 5, 15, 17, 17, 17}, 640, 200};
// Chrome-cyan names and numbers ("impFont16").
inline constexpr FontMetrics kMediumFontMetrics{28, 25, 13, 621, "WMIJLE1", {5, 10, 20, 18, 17, 17, 18}, 640, 80};
// Small print ("impFont8"). Its capitals and figures, with their shadow,
// fill kSmallFontInkRows rows of the glyph from row kSmallFontInkTop.
inline constexpr int kSmallFontInkTop = 3, kSmallFontInkRows = 8;
inline constexpr FontMetrics kSmallFontMetrics{15, 15, 9, 630, "KMWI4", {7, 6, 5, 12, 7}, 640, 30};
