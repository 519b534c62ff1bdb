#include "app/PlayPicture.h"

#include "gfx/Display.h"
#include "gfx/ImageSlots.h"
#include "match/IntroPanel.h"

int32_t TextWidth(const Font& font, const char* text) {
    int32_t width = 0;
    for (const char* c = text; *c; ++c) width += font.Advance(*c);
    return width;
}

void HoldPictureOnShow() { Blit(0, 0, 640, 480, primarySurface, 0, 0, backBuffer, false); }

void DrawExitBox(const DrawKit& kit) {
    Blit(0, 0, kIntroPanelWidth, kIntroPanelHeight, kit.images->surfaces[kImagePanel], kIntroPanelX, kIntroPanelY,
         backBuffer, true);
    kit.big->DrawText(backBuffer, 235, 230, "EXIT Y/N", 0);
}
