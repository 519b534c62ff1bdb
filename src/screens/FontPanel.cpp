#include "screens/FontPanel.h"

#include <cstdio>

namespace {

constexpr int kTextBytes = 200;

// The palette entry nearest to a colour.
uint8_t Nearest(const PaletteEntry* palette, int r, int g, int b) {
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 1; i < kPaletteSize; ++i) {
        const int dr = palette[i].red - r, dg = palette[i].green - g, db = palette[i].blue - b;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return static_cast<uint8_t>(best);
}

}  // namespace

PanelColours FindPanelColours(const PaletteEntry* palette) {
    PanelColours c;
    c.panelFill = Nearest(palette, 10, 14, 30);
    c.panelEdge = Nearest(palette, 60, 80, 120);
    c.boxFill = Nearest(palette, 24, 32, 58);
    c.boxEdge = Nearest(palette, 80, 96, 130);
    c.litEdge = Nearest(palette, 40, 200, 255);
    c.waitFill = Nearest(palette, 190, 110, 10);
    c.barOn = Nearest(palette, 90, 255, 120);
    c.barOff = Nearest(palette, 60, 64, 74);
    return c;
}

int32_t PanelTextWidth(const Font& font, const char* text) {
    int32_t width = 0;
    for (const char* p = text; *p != '\0'; ++p) width += font.Advance(*p);
    return width;
}

void DrawPanelCaps(Font& font, int32_t x, int32_t y, const char* text, int32_t maxWidth) {
    char caps[kTextBytes];
    int32_t width = 0;
    int n = 0;
    for (const char* p = text; *p != '\0' && n < kTextBytes - 1; ++p) {
        char c = *p >= 'a' && *p <= 'z' ? static_cast<char>(*p - 'a' + 'A') : *p;
        if (c < ' ' || c > '`') c = '?';
        width += font.Advance(c);
        if (width > maxWidth) break;
        caps[n++] = c;
    }
    caps[n] = '\0';
    if (n > 0) font.DrawText(backBuffer, x, y, caps, 0);
}

void DrawPanelCentred(Font& font, const ScreenBox& box, const char* text) {
    char caps[kTextBytes];
    std::snprintf(caps, sizeof caps, "%s", text);
    for (char* p = caps; *p != '\0'; ++p)
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    const int32_t width = PanelTextWidth(font, caps);
    const int32_t height = font.cellHeight - 2;
    DrawPanelCaps(font, box.x + (box.w - width) / 2, box.y + (box.h - height) / 2 + 1, caps, box.w);
}

void DrawPanelFrame(const PanelColours& colours, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    FillRect(left, top, right, bottom, backBuffer, colours.panelFill);
    FillRect(left, top, right, top + 1, backBuffer, colours.panelEdge);
    FillRect(left, bottom - 1, right, bottom, backBuffer, colours.panelEdge);
    FillRect(left, top, left + 1, bottom, backBuffer, colours.panelEdge);
    FillRect(right - 1, top, right, bottom, backBuffer, colours.panelEdge);
}

void DrawPanelBox(const PanelColours& colours, const ScreenBox& b, bool lit, bool amber, Font& font, const char* text) {
    FillRect(b.x, b.y, b.x + b.w, b.y + b.h, backBuffer, lit ? colours.litEdge : colours.boxEdge);
    FillRect(b.x + 1, b.y + 1, b.x + b.w - 1, b.y + b.h - 1, backBuffer, amber ? colours.waitFill : colours.boxFill);
    DrawPanelCentred(font, b, text);
}

void FontScreen::Init(Font* big, Font* medium, Font* small, SoundBank* s, MouseCursor* c, StarField* menuStars,
                      const PaletteEntry* menuPalette) {
    bigFont = big;
    mediumFont = medium;
    smallFont = small;
    sounds = s;
    cursor = c;
    stars = menuStars;
    palette = menuPalette;
    colours = FindPanelColours(palette);
}
