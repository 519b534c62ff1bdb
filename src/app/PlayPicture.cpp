#include "app/PlayPicture.h"

#include "gfx/Display.h"
#include "gfx/ImageSlots.h"
#include "match/IntroPanel.h"
#include "platform/Host.h"
#include "screens/FontPanel.h"

void HoldPictureOnShow() { Blit(0, 0, kScreenWidth, kScreenHeight, primarySurface, 0, 0, backBuffer, BlitKey::Opaque); }

void DrawExitBox(const DrawKit& kit) {
    Blit(0, 0, kIntroPanelWidth, kIntroPanelHeight, kit.images->surfaces[kImagePanel], kIntroPanelX, kIntroPanelY,
         backBuffer, BlitKey::Keyed);
    kit.big->DrawText(backBuffer, 235, 230, "EXIT Y/N", TextExtent::Whole);
}

namespace {

// The question's answers, side by side on the panel's glass.
constexpr ScreenBox kYesBox = {kIntroPanelX + 44, kIntroPanelY + 146, 100, 34};
constexpr ScreenBox kNoBox = {kIntroPanelX + kIntroPanelWidth - 44 - 100, kIntroPanelY + 146, 100, 34};
constexpr int32_t kQuestionY = kIntroPanelY + 22, kQuestionLead = 23;
constexpr int32_t kWhatY = kIntroPanelY + 98, kWhatLead = 14;

}  // namespace

void DrawSendQuestion(const DrawKit& kit, BoxAnswer lit) {
    Blit(0, 0, kIntroPanelWidth, kIntroPanelHeight, kit.images->surfaces[kImagePanel], kIntroPanelX, kIntroPanelY,
         backBuffer, BlitKey::Keyed);
    static const char* const kQuestion[3] = {"SEND MY FINISHED", "GAMES TO THE", "WORLD TABLE?"};
    const ScreenBox line = {kIntroPanelX, 0, kIntroPanelWidth, kit.medium->cellHeight};
    for (int i = 0; i < 3; ++i)
        DrawPanelCentred(*kit.medium, ScreenBox{line.x, kQuestionY + kQuestionLead * i, line.w, line.h}, kQuestion[i]);
    static const char* const kWhat[2] = {"WHAT GOES: EACH GAME'S REPLAY, ITS", "NAMES AND KEYS. OPTIONS CAN CHANGE IT"};
    for (int i = 0; i < 2; ++i)
        DrawPanelCentred(*kit.small, ScreenBox{line.x, kWhatY + kWhatLead * i, line.w, kit.small->cellHeight},
                         kWhat[i]);
    DrawPanelCentred(*kit.big, kYesBox, "YES");
    DrawPanelCentred(*kit.big, kNoBox, "NO");
    if (lit == BoxAnswer::Yes) DrawEntryFrame(kYesBox, kPanelLitIndex, kEntryRim);
    if (lit == BoxAnswer::No) DrawEntryFrame(kNoBox, kPanelLitIndex, kEntryRim);
}

BoxAnswer SendQuestionAt(int32_t x, int32_t y) {
    if (kYesBox.Contains(x, y)) return BoxAnswer::Yes;
    if (kNoBox.Contains(x, y)) return BoxAnswer::No;
    return BoxAnswer::None;
}
