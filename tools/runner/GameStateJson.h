#pragma once
#include <cstdint>
#include <string>

class Game;
class JsonWriter;

// The game's state after a pass as one JSON object: the top-level state,
// the pointer, the main menu, the sounds, the high-score table, the set-up
// screen, and the match with its level, worms and food. Each part of the game has its
// own small writer below, so a new part is one more call in WriteGameState.
void WriteGameState(JsonWriter& w, const Game& game, int64_t frame);
std::string GameStateJson(const Game& game, int64_t frame);
