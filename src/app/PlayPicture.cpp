#include "app/PlayPicture.h"

#include "gfx/Display.h"
#include "gfx/ImageSlots.h"
#include "match/IntroPanel.h"
#include "platform/Host.h"

void HoldPictureOnShow() { Blit(0, 0, kScreenWidth, kScreenHeight, primarySurface, 0, 0, backBuffer, BlitKey::Opaque); }

void DrawExitBox(const DrawKit& kit) {
    Blit(0, 0, kIntroPanelWidth, kIntroPanelHeight, kit.images->surfaces[kImagePanel], kIntroPanelX, kIntroPanelY,
         backBuffer, BlitKey::Keyed);
    kit.big->DrawText(backBuffer, 235, 230, "EXIT Y/N", TextExtent::Whole);
}
