#include "screens/InfoScreen.h"

#include "io/SoundSlots.h"
#include "screens/InfoSheet.h"

void InfoScreen::Init(MouseCursor* c, SoundBank* s) {
    cursor = c;
    sounds = s;
    background = CreateSurface(640, 480, SystemMemory);
    loader.LoadSurface("grafik\\bgInfo2.dat", background, palette);
    ballSurface = CreateSurface(kBallSheetWidth, kBallSheetHeight, SystemMemory);
    loader.LoadSurface("grafik\\BallAnim.dat", ballSurface, nullptr);
    SetSourceColorKey(0, 0, ballSurface);
    ballSprite.Init(ballSurface, kBallCell, kBallFrames, 7);
    for (int k = 0; k < 2; ++k) hoverSprites[k].Init(ballSurface, kBallHoverCells[k], 1, 0);
}

bool InfoScreen::Frame() {
    Blit(0, 0, 640, 480, background, 0, 0, backBuffer, false);
    ballSprite.Draw(570, 410, backBuffer);
    ballSprite.AdvanceLoop();
    cursor->Update();
    if (ballSprite.Contains(cursor->x, cursor->y)) {
        if (!hovered) sounds->Play(kSoundInfo, 0);
        hovered = 1;
        hoverSprites[0].Draw(500, 400, backBuffer);
        hoverSprites[1].Draw(540, 340, backBuffer);
        if (cursor->LeftDown()) {
            sounds->Play(kSoundClick, 0);
            return true;
        }
        return false;
    }
    hovered = 0;
    return false;
}

void InfoScreen::FadeOut() { fader.FadeOut(); }

void InfoScreen::FadeIn() { fader.FadeIn(palette); }

void InfoScreen::Release() {
    if (background) ReleaseSurface(background);
    if (ballSurface) ReleaseSurface(ballSurface);
    background = ballSurface = nullptr;
}
