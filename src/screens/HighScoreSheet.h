#pragma once
#include "gfx/FontMetrics.h"
#include "gfx/SheetCell.h"
#include "world/Difficulty.h"

// The high-score screen's pictures, as the data tool draws them and the
// screen cuts and fills them.

// "hibutt.dat": a label for each difficulty, then the round continue and
// back buttons.
inline constexpr int kHighScoreButtonsWidth = 440, kHighScoreButtonsHeight = 130;
inline constexpr SheetCell kHighScoreLabelCells[kDifficulties] = {{0, 0, 46, 23}, {0, 29, 80, 23}, {0, 57, 48, 23}};
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
