#pragma once
#include <cstdint>

#include "gfx/Font.h"
#include "gfx/ImageLoader.h"

// The fonts and pictures the game's own lines over play are drawn with
// (the EXIT box, the waits of online play, a replay's status).
struct DrawKit {
    Font* big = nullptr;
    Font* medium = nullptr;
    Font* small = nullptr;
    ImageBank* images = nullptr;
};

// The picture on show is drawn again into the back buffer, so that the flip
// at the end of the pass shows the same frame instead of the one before.
void HoldPictureOnShow();

// The EXIT box over play: the intro's panel and its question.
void DrawExitBox(const DrawKit& kit);

// The question whether this machine's finished games go to the world
// table, in the EXIT box's panel: what is sent, and YES and NO to click
// (Y and N answer too). The answer under the point, for the pointer.
enum class BoxAnswer : uint8_t { None, Yes, No };
void DrawSendQuestion(const DrawKit& kit, BoxAnswer lit);
BoxAnswer SendQuestionAt(int32_t x, int32_t y);
