#include "screens/FontPanel.h"

#include <cstdio>

#include "platform/Host.h"

namespace {

constexpr int kTextBytes = 200;

PanelTextWatcher textWatcher = nullptr;
void* textWatcherContext = nullptr;

char Capital(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return c < ' ' || c > '`' ? '?' : c;
}

}  // namespace

void WatchPanelText(PanelTextWatcher watcher, void* context) {
    textWatcher = watcher;
    textWatcherContext = context;
}

int32_t PanelTextWidth(const Font& font, const char* text) {
    // The font measures the capitals as drawn, a buffer's length at a time.
    char caps[kTextBytes];
    int32_t width = 0;
    while (*text != '\0') {
        int n = 0;
        for (; *text != '\0' && n < kTextBytes - 1; ++text) caps[n++] = Capital(*text);
        caps[n] = '\0';
        width += font.TextWidth(caps);
    }
    return width;
}

void DrawPanelCaps(Font& font, int32_t x, int32_t y, const char* text, int32_t maxWidth) {
    char caps[kTextBytes];
    int32_t width = 0;
    int n = 0;
    for (const char* p = text; *p != '\0' && n < kTextBytes - 1; ++p) {
        const char c = Capital(*p);
        if (width + font.Advance(c) > maxWidth) break;
        width += font.Advance(c);
        caps[n++] = c;
    }
    caps[n] = '\0';
    if (n == 0) return;
    font.DrawText(backBuffer, x, y, caps, TextExtent::Whole);
    if (textWatcher != nullptr) textWatcher(PanelText{&font, x, y, width, font.cellHeight, caps}, textWatcherContext);
}

void DrawPanelCentred(Font& font, const ScreenBox& box, const char* text) {
    const int32_t width = PanelTextWidth(font, text);
    const int32_t height = font.cellHeight - 2;
    const int32_t x = width < box.w ? box.x + (box.w - width) / 2 : box.x;
    DrawPanelCaps(font, x, box.y + (box.h - height) / 2 + 1, text, box.w);
}

int32_t DrawPanelParagraph(Font& font, int32_t x, int32_t y, int32_t width, int32_t lead, const char* text) {
    char line[kTextBytes];
    const char* p = text;
    while (*p != '\0') {
        while (*p == ' ') ++p;
        // The longest run of whole words that fits; a word longer than a
        // line is cut where the line ends.
        int n = 0, fits = 0;
        int32_t used = 0;
        const char* end = p;
        for (const char* q = p; *q != '\0' && n < kTextBytes - 1; ++q) {
            used += font.Advance(Capital(*q));
            if (used > width) break;
            line[n++] = *q;
            if (q[1] == ' ' || q[1] == '\0') {
                fits = n;
                end = q + 1;
            }
        }
        if (fits == 0) {
            fits = n;
            end = p + n;
        }
        if (fits == 0) break;
        line[fits] = '\0';
        DrawPanelCaps(font, x, y, line, width);
        y += lead;
        p = end;
    }
    return y;
}

void DrawEntryFrame(const ScreenBox& b, uint8_t colour, int32_t thickness) {
    for (int32_t k = 0; k < thickness; ++k) {
        const int32_t l = b.x + k, t = b.y + k, r = b.Right() - k, bottom = b.Bottom() - k;
        FillRect(l + 1, t, r - 1, t + 1, backBuffer, colour);
        FillRect(l + 1, bottom - 1, r - 1, bottom, backBuffer, colour);
        FillRect(l, t + 1, l + 1, bottom - 1, backBuffer, colour);
        FillRect(r - 1, t + 1, r, bottom - 1, backBuffer, colour);
    }
}

void DrawPanelBox(const ScreenBox& b, bool lit, bool waiting, Font& font, const char* text) {
    if (waiting)
        DrawEntryFrame(b, kPanelWaitIndex, kEntryRim);
    else if (lit)
        DrawEntryFrame(b, kPanelLitIndex, 1);
    DrawPanelCentred(font, b, text);
}

bool FontScreen::Init(Font* big, Font* medium, Font* small, SoundBank* s, MouseCursor* c, const char* backgroundFile) {
    bigFont = big;
    mediumFont = medium;
    smallFont = small;
    sounds = s;
    cursor = c;
    background = CreateSurface(kScreenWidth, kScreenHeight, SystemMemory);
    return loader.LoadSurface(backgroundFile, background, palette);
}

void FontScreen::Release() {
    if (background != nullptr) ReleaseSurface(background);
    background = nullptr;
}

void FontScreen::DrawBackground(const char* title) {
    Blit(0, 0, kScreenWidth, kScreenHeight, background, 0, 0, backBuffer, BlitKey::Opaque);
    DrawPanelCentred(*bigFont, ScreenBox{kPanelTitlePlate.x, kPanelTitleY, kPanelTitlePlate.w, bigFont->cellHeight},
                     title);
}
