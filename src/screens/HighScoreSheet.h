#pragma once
#include "gfx/FontMetrics.h"
#include "gfx/SheetCell.h"
#include "world/Difficulty.h"

// The high-score screen's pictures, as the data tool draws them and the
// screen cuts and fills them.

// "hibutt.dat": a label for each difficulty and the WORLD switch under
// them, then the round continue and back buttons.
inline constexpr int kHighScoreButtonsWidth = 440, kHighScoreButtonsHeight = 130;
inline constexpr SheetCell kHighScoreLabelCells[kDifficulties] = {{0, 0, 46, 23}, {0, 29, 80, 23}, {0, 57, 48, 23}};
inline constexpr SheetCell kHighScoreWorldCell = {0, 85, 64, 23};
inline constexpr SheetCell kHighScoreContinueCell = {165, 0, 125, 126};
inline constexpr SheetCell kHighScoreBackCell = {300, 0, 125, 126};

// "hiscore.dat" is the screen's background: its rows lie where the screen
// writes the table, row i's top at kHighScoreFirstRowY + i * kHighScoreRowHeight
// (the medium font's cell, which the screen writes in), and its column
// captions stand over the columns' left edges.
inline constexpr int kHighScoreFirstRowY = 180;
inline constexpr int kHighScoreRowHeight = kMediumFontMetrics.cellHeight;
// The table's panel ends on row kHighScoreTableBottom and the difficulty
// bar starts at kHighScoreBarTop; the screen's hint line lies between.
inline constexpr int kHighScoreTableBottom = 440, kHighScoreBarTop = 449;
inline constexpr int kHighScoreScoreX = 105, kHighScoreNameX = 230, kHighScoreLengthX = 440, kHighScoreLevelX = 515;

// The bar along the bottom: the three difficulty labels where they always
// stood and the WORLD switch right of them, in one well; the bar's ends.
inline constexpr int kHighScoreLabelX[kDifficulties] = {220, 280, 370};
inline constexpr int kHighScoreWorldX = 432, kHighScoreLabelY = 455;
inline constexpr int kHighScoreBarLeft = 64, kHighScoreBarRight = 596;
inline constexpr int kHighScoreWellLeft = 210, kHighScoreWellRight = 504;
static_assert(kHighScoreWorldX + kHighScoreWorldCell.w - 1 <= kHighScoreWellRight - 4);
static_assert(kHighScoreLabelX[2] + kHighScoreLabelCells[2].w - 1 < kHighScoreWorldX);

// "hiworld.dat", the world table's background: the same screen with its
// rank column left for the screen to write (a world rank runs to
// thousands) and the columns moved right to make room.
inline constexpr int kWorldRankRight = 124, kWorldScoreX = 142, kWorldNameX = 240;
inline constexpr int kWorldLengthX = kHighScoreLengthX, kWorldLevelX = kHighScoreLevelX;
