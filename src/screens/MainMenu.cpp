#include "screens/MainMenu.h"

#include <cstdio>

#include "io/Input.h"
#include "io/SoundSlots.h"
#include "platform/Host.h"

// Credit lines: 13 a panel, at most 39 characters each.
const char MainMenu::kCredits[kMenuCredits][MainMenu::kCreditLines][MainMenu::kCreditLineSize] = {
    {
        "LEAD PROGRAMMER / PUBLISHER",
        " ",
        "SOME FUNKY CHIQUITAS GOES TO:",
        "THE VOIDCRAWL DEVELOPERS",
        "EVERYONE WHO PLAYTESTED A BUILD",
        "EVERY BUG REPORTER (THE HEROES)",
        "ALL WORM PILOTS OUT THERE",
        "AND TO YOU, FOR PLAYING",
        "",
        "",
        "--FLAME ON AND IM GONE--",
        "",
        "",
    },
    {
        "PROGRAMMING / MUSIC / SOUND FX",
        " ",
        "GREETINGS TO:",
        "EVERY HIGH-SCORE CHASER",
        "FAMILY & FRIENDS",
        "ALL RIVALS OF THE ONLINE DUELS",
        "EVERY PAIR AT ONE KEYBOARD",
        "THE BRAVE OF THE TIMER LEVEL",
        "WHOEVER WATCHED THEIR OWN REPLAY",
        "THE EARS THAT HEARD THE HUM",
        "",
        "",
        "",
    },
    {
        "GRAPHICS / DESIGN / STARSCROLL",
        " ",
        "GREETINGS FLY TO:",
        "THE VOIDCRAWL DEVELOPERS -PIXELS-",
        "EVERY WORM PILOT WHO READ THE STARS",
        "THE NAMES IN THE HALL OF FAME",
        "ALL DEMOSCENE STARSCROLLERS",
        "THE NIGHT SKY, FOR THE NEBULAE",
        "EVERY 8-BIT PALETTE EVER MADE",
        "KEEP ON CRAWLING!",
        "",
        "",
        "",
    },
};

void MainMenu::Init(Font* f, SoundBank* s, MouseCursor* c) {
    font = f;
    sounds = s;
    cursor = c;
    menuSurface = CreateSurface(kMenuSheetWidth, kMenuSheetHeight, SystemMemory);
    loader.LoadSurface("grafik\\menyinv.dat", menuSurface, menuPalette);
    SetSourceColorKey(0, 0, menuSurface);
    const Rect screen{0, 0, kScreenWidth, kScreenHeight};
    SetClipList(backBuffer, 1, &screen);

    for (int k = 0; k < kMenuItems; ++k) itemSprites[k].Init(menuSurface, kMenuItemCells[k], 1, 0);
    titleSprite.Init(menuSurface, kMenuTitleCell, 0, 0);
    for (int k = 0; k < kDifficulties; ++k) difficultySprites[k].Init(menuSurface, kMenuDifficultyCells[k], 1, 0);
    humSwitch.Init(menuSurface, kMenuHumSwitchCell, 2, 0);
    optionsButton.Init(menuSurface, kMenuOptionsCell, 1, 0);
    for (int k = 0; k < kMenuCredits; ++k) {
        creditButtons[k].Init(menuSurface, kMenuCreditButtonCells[k], 1, 0);
        creditPictures[k].Init(menuSurface, kMenuCreditPictureCells[k], 1, 0);
    }
    stars.Init();
}

namespace {

// The items, sliding in; the one under the pointer lights, and a press on
// it chooses it. The menu's result, or None.
int32_t ItemsFrame(MainMenu& menu, bool buttonDown, bool pressBegins) {
    MouseCursor* cursor = menu.cursor;
    SoundBank* sounds = menu.sounds;
    int32_t& hoveredItem = menu.hoveredItem;
    int32_t& pressItem = menu.pressItem;
    int32_t result = MainMenu::None;
    // The difficulty labels and the hum switch lie on top of the items
    // (QUIT slides in under them): a pointer on one of those is not on an item.
    bool onTop = menu.humSwitch.Contains(cursor->x, cursor->y) || menu.optionsButton.Contains(cursor->x, cursor->y);
    for (const Sprite& label : menu.difficultySprites) onTop = onTop || label.Contains(cursor->x, cursor->y);
    for (int k = 0; k < kMenuItems; ++k) {
        const int32_t base = 150 + 65 * k;
        Sprite& item = menu.itemSprites[k];
        if (!onTop && item.Contains(cursor->x, cursor->y)) {
            item.frame = 1;
            if (hoveredItem != k) sounds->PlayOverlapped(kSoundTouch);
            if (pressBegins) pressItem = k;
            // Quitting takes a press that began on QUIT itself, not one
            // dragged onto it or held while it slid under the pointer.
            if (buttonDown && (k + 1 != MainMenu::Quit || pressItem == k)) {
                sounds->Play(kSoundClick, SoundLoop::Once);
                result = k + 1;
            }
            hoveredItem = k;
        } else if (hoveredItem != k) {
            item.frame = 0;
        } else {
            hoveredItem = -1;
        }
        int32_t x = menu.slideOffset + 40 * k;
        const int32_t centred = 320 - kMenuItemCells[k].w / 2;
        if (x < centred) x = centred;
        item.Draw(x, k < 3 ? base - 30 : base, backBuffer);
    }
    return result;
}

void DifficultyFrame(MainMenu& menu, bool buttonDown) {
    MouseCursor* cursor = menu.cursor;
    Sprite* difficultySprites = menu.difficultySprites;
    int32_t& difficulty = menu.difficulty;
    static const int32_t labelX[kDifficulties] = {430, 490, 580};
    for (int k = 0; k < kDifficulties; ++k) difficultySprites[k].Draw(labelX[k], 455, backBuffer);
    for (int k = 0; k < kDifficulties; ++k) {
        if (difficultySprites[k].Contains(cursor->x, cursor->y) && buttonDown) {
            difficulty = k;
            menu.sounds->Play(kSoundClick, SoundLoop::Once);
        }
        difficultySprites[k].frame = difficulty == k ? 1 : 0;
    }
}

// The switch shows the hum as the settings have it; a click keeps the
// change in the settings file, and the game starts or stops the sound.
void HumSwitchFrame(MainMenu& menu, bool buttonDown) {
    MouseCursor* cursor = menu.cursor;
    Sprite& humSwitch = menu.humSwitch;
    Host* host = GetHost();
    humSwitch.frame = host == nullptr || host->CurrentSettings().hum ? 0 : 1;
    humSwitch.Draw(400, 459, backBuffer);
    if (humSwitch.Contains(cursor->x, cursor->y) && buttonDown && !menu.clickLatch) {
        menu.clickLatch = 1;
        if (host != nullptr) {
            Settings next = host->CurrentSettings();
            next.hum = !next.hum;
            char reason[128] = {};
            if (!host->ChangeSettings(next, reason, sizeof reason)) {
                std::snprintf(menu.notice, sizeof menu.notice, "Settings NOT saved: %s", reason);
                menu.noticePasses = 500;
            }
            humSwitch.frame = next.hum ? 0 : 1;
        }
    }
}

// The OPTIONS button, or O: Options when nothing else was chosen.
int32_t OptionsButtonFrame(MainMenu& menu, bool pressBegins, int32_t result) {
    MouseCursor* cursor = menu.cursor;
    Sprite& optionsButton = menu.optionsButton;
    const bool optionsKeyDown = KeyState[DIK_O] != 0;
    if (optionsKeyDown && !menu.optionsKeyWasDown && result == MainMenu::None) result = MainMenu::Options;
    menu.optionsKeyWasDown = optionsKeyDown ? 1 : 0;
    if (optionsButton.Contains(cursor->x, cursor->y)) {
        if (optionsButton.frame == 0) menu.sounds->PlayOverlapped(kSoundTouch);
        optionsButton.frame = 1;
        if (pressBegins && result == MainMenu::None) {
            menu.sounds->Play(kSoundClick, SoundLoop::Once);
            result = MainMenu::Options;
        }
    } else {
        optionsButton.frame = 0;
    }
    optionsButton.Draw(kMenuOptionsX, kMenuOptionsY, backBuffer);
    menu.font->DrawText(backBuffer, kMenuOptionsX + 19, kMenuOptionsY + kMenuOptionsCell.h + 1, "KEY O, PAD Y",
                        TextExtent::Whole);
    return result;
}

}  // namespace

int32_t MainMenu::Frame() {
    ClearSurface(backBuffer, 0);
    stars.Frame();
    titleSprite.Draw(120, 0, backBuffer);
    if (slideOffset > 90) slideOffset -= 4;

    const bool buttonDown = cursor->LeftDown();
    const bool pressBegins = buttonDown && !buttonWasDown;
    buttonWasDown = buttonDown ? 1 : 0;
    if (!buttonDown) pressItem = -1;
    int32_t result = ItemsFrame(*this, buttonDown, pressBegins);
    DifficultyFrame(*this, buttonDown);
    HumSwitchFrame(*this, buttonDown);
    result = OptionsButtonFrame(*this, pressBegins, result);
    if (noticePasses > 0) {
        --noticePasses;
        font->DrawText(backBuffer, 230, 440, notice, TextExtent::Whole);
    }

    DrawCredits();
    cursor->Update();
    if (!cursor->LeftDown()) clickLatch = 0;
    return result;
}

void MainMenu::DrawCredits() {
    for (int k = 0; k < kMenuCredits; ++k) {
        const int32_t row = 400 + 27 * k;
        Sprite& button = creditButtons[k];
        if (button.Contains(cursor->x, cursor->y)) {
            if (creditsHovered != k) {
                sounds->Play(kSoundCredits, SoundLoop::Once);
                slideX = -170;
            }
            button.frame = 1;
            if (slideX < 10) slideX += 2;
            creditPictures[k].Draw(slideX, 100, backBuffer);
            creditsHovered = k;
            for (int line = 0; line < kCreditLines; ++line)
                font->DrawText(backBuffer, slideX, 205 + 16 * line, kCredits[k][line], TextExtent::Whole);
        } else if (creditsHovered != k) {
            button.frame = 0;
        } else {
            creditsHovered = -1;
        }
        button.Draw(10, row, backBuffer);
    }
}

void MainMenu::FadeOut() { fader.FadeOut(); }

void MainMenu::FadeIn() { fader.FadeIn(menuPalette); }

void MainMenu::Release() {
    if (menuSurface) ReleaseSurface(menuSurface);
    menuSurface = nullptr;
}
