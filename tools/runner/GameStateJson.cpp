#include "GameStateJson.h"

#include "JsonWriter.h"
#include "app/Game.h"
#include "io/SoundBank.h"

namespace {

void WriteCursor(JsonWriter& w, const MouseCursor& cursor) {
    w.BeginObject("cursor");
    w.Field("x", cursor.x);
    w.Field("y", cursor.y);
    w.EndObject();
}

void WriteMenu(JsonWriter& w, const MainMenu& menu) {
    w.BeginObject("menu");
    w.Field("difficulty", menu.difficulty);
    w.Field("slideOffset", menu.slideOffset);
    w.Field("hoveredItem", menu.hoveredItem);
    w.Field("creditsHovered", menu.creditsHovered);
    w.Field("slideX", menu.slideX);
    // The switch shows frame 0 while the hum is on.
    w.Field("humOn", menu.humSwitch.frame == 0);
    w.EndObject();
}

void WriteSounds(JsonWriter& w) {
    const int* started = nullptr;
    const int count = SoundBank::StartedLog(&started);
    w.BeginArray("soundsStarted");
    for (int i = 0; i < count; ++i) w.Value(started[i]);
    w.EndArray();
    w.BeginArray("soundsPlaying");
    for (int slot = 0; slot < kSoundSlots; ++slot)
        if (SoundBank::IsSounding(slot)) w.Value(slot);
    w.EndArray();
}

}  // namespace

void WriteGameState(JsonWriter& w, const Game& game, int64_t frame) {
    w.BeginObject();
    w.Field("frame", frame);
    w.Field("gameState", static_cast<int32_t>(game.state));
    w.Field("difficulty", game.difficulty);
    w.Field("exitBoxShown", game.exitBoxShown);
    WriteCursor(w, game.cursor);
    WriteMenu(w, game.mainMenu);
    WriteSounds(w);
    w.EndObject();
}

std::string GameStateJson(const Game& game, int64_t frame) {
    JsonWriter w;
    WriteGameState(w, game, frame);
    return w.Text();
}
