#pragma once
#include <cstdint>

// The game's three difficulties. A difficulty that is neither easy nor
// medium plays, and keeps its high scores, as hard.
inline constexpr int32_t kDifficultyEasy = 0;
inline constexpr int32_t kDifficultyMedium = 1;
inline constexpr int32_t kDifficultyHard = 2;
inline constexpr int32_t kDifficulties = 3;

constexpr int32_t ClampDifficulty(int32_t difficulty) {
    return difficulty == kDifficultyEasy || difficulty == kDifficultyMedium ? difficulty : kDifficultyHard;
}

// Their names as the screens write them.
inline constexpr const char* kDifficultyNames[kDifficulties] = {"EASY", "MEDIUM", "HARD"};
