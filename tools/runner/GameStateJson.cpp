#include "GameStateJson.h"

#include <memory>

#include "JsonWriter.h"
#include "app/Game.h"
#include "io/SoundBank.h"

namespace {

// A fixed-size char array as a string: up to its first zero byte, never
// beyond its end.
template <size_t N>
std::string Text(const char (&chars)[N]) {
    size_t n = 0;
    while (n < N && chars[n] != 0) ++n;
    return std::string(chars, n);
}

void WriteCell(JsonWriter& w, const char* key, int32_t x, int32_t y) {
    w.BeginArray(key);
    w.Value(x);
    w.Value(y);
    w.EndArray();
}

void WriteFlags(JsonWriter& w, const char* key, const uint8_t (&flags)[2]) {
    w.BeginArray(key);
    for (uint8_t f : flags) w.Value(f != 0);
    w.EndArray();
}

void WriteHighScores(JsonWriter& w, const HighScoreTable& table) {
    w.BeginObject("highScores");
    w.Field("difficulty", table.difficulty);
    w.BeginArray("records");
    for (const HighScoreRecord& r : table.records) {
        w.BeginObject();
        w.Field("score", r.score);
        w.Field("name", Text(r.name));
        w.Field("lengthTotal", r.lengthTotal);
        w.Field("level", r.level);
        w.Field("fresh", table.fresh[&r - table.records] != 0);
        w.EndObject();
    }
    w.EndArray();
    // The display order as the table's own sort gives it, taken on a copy
    // so that writing the state changes nothing in the game.
    auto sorted = std::make_unique<HighScoreTable>(table);
    sorted->Sort();
    w.BeginArray("order");
    for (const HighScoreRecord* r : sorted->order) w.Value(static_cast<int64_t>(r - sorted->records));
    w.EndArray();
    w.EndObject();
}

void WriteSetup(JsonWriter& w, const SetupScreen& setup) {
    w.BeginObject("setup");
    w.Field("player1Active", setup.player1Active != 0);
    w.Field("player2Active", setup.player2Active != 0);
    w.Field("selectedShip", setup.selectedShip);
    w.Field("clickLatch", setup.clickLatch != 0);
    w.Field("nameText", Text(setup.nameEntry.text));
    w.Field("nameLength", setup.nameEntry.length);
    w.EndObject();
}

void WritePlayerSetup(JsonWriter& w, const PlayerSetup& setup) {
    w.BeginObject("playerSetup");
    w.Field("name1", Text(setup.name1));
    w.Field("ship1", setup.ship1);
    w.Field("name2", Text(setup.name2));
    w.Field("ship2", setup.ship2);
    w.EndObject();
}

// The world table: where the game last sent stands, and its answer.
void WriteWorld(JsonWriter& w, const WorldPlay& world) {
    static const char* const kStandings[] = {"none", "sending", "ranked", "refused", "not kept"};
    w.BeginObject("world");
    w.Field("standing", kStandings[static_cast<int>(world.standing)]);
    w.Field("tag", Text(world.tag));
    w.Field("rank1", world.RankText(0));
    w.Field("rank2", world.RankText(1));
    const bool ranked = world.standing == WorldPlay::Standing::Ranked;
    w.Field("rank", ranked && world.answer.count > 0 ? world.answer.results[0].rank : 0);
    w.Field("entries", ranked ? world.answer.entries : 0);
    w.Field("id", ranked ? Text(world.answer.id) : std::string());
    w.Field("reason", Text(world.reason));
    w.EndObject();
}

void WriteMatch(JsonWriter& w, const Match& m) {
    w.BeginObject("match");
    w.Field("players", m.players);
    w.Field("difficulty", m.difficulty);
    w.Field("levelIndex", m.levelIndex);
    w.Field("targetFactor", static_cast<double>(m.targetFactor));
    w.Field("extraFood", m.extraFood);
    w.Field("introPending", m.IntroPending());
    w.Field("inPlay", m.InPlay());
    w.Field("pointsPhase", m.PointsPhase());
    w.Field("allLevelsDone", m.allLevelsDone != 0);
    w.Field("timerExpired", m.timerExpired != 0);
    w.Field("timerStart", static_cast<int64_t>(m.timerStart));
    w.Field("frozen", m.frozen != 0);
    w.Field("gameOverCue", m.gameOverCue);
    w.Field("resultsSaved", m.resultsSaved != 0);
    w.Field("tableShown", m.TableShown());
    w.Field("endChoice", m.endChoice);
    WriteFlags(w, "playerDone", m.playerDone);
    WriteFlags(w, "playerOut", m.playerOut);
    WriteFlags(w, "pointsDue", m.pointsDue);
    w.BeginArray("names");
    for (const auto& name : m.names) w.Value(Text(name));
    w.EndArray();
    w.EndObject();
}

void WriteLevel(JsonWriter& w, const LevelHeader* level) {
    if (!level) {
        w.NullField("level");
        return;
    }
    w.BeginObject("level");
    w.Field("title", Text(level->title));
    w.Field("target", level->target);
    w.Field("foodCount", level->foodCount);
    w.Field("chanceA", level->chanceA);
    w.Field("chanceB", level->chanceB);
    w.Field("chanceC", level->chanceC);
    WriteCell(w, "start1", level->start1X, level->start1Y);
    WriteCell(w, "start2", level->start2X, level->start2Y);
    w.EndObject();
}

void WriteStats(JsonWriter& w, const ShipStats& s) {
    w.BeginObject("stats");
    w.Field("velocity", static_cast<double>(s.velocity));
    w.Field("acceleration", static_cast<double>(s.acceleration));
    w.Field("shieldRecover", s.shieldRecover);
    w.Field("plasmaShields", s.plasmaShields);
    w.Field("hsJumpSeconds", s.hsJumpSeconds);
    w.Field("maxWarpGates", s.maxWarpGates);
    w.Field("lives", s.lives);
    w.EndObject();
}

void WriteWorm(JsonWriter& w, const Worm& worm) {
    w.BeginObject();
    w.Field("active", worm.active != 0);
    w.Field("alive", worm.alive != 0);
    w.Field("crashing", worm.crashing != 0);
    w.Field("exitOpen", worm.exitOpen != 0);
    w.Field("jumping", worm.jumping != 0);
    w.Field("exited", worm.exited != 0);
    w.Field("rocketsReady", worm.rocketsReady != 0);
    w.Field("length", worm.length);
    w.Field("pendingGrowth", worm.pendingGrowth);
    w.Field("shield", worm.shield);
    w.Field("score", worm.score);
    w.Field("points", worm.points);
    w.Field("lengthTotal", worm.lengthTotal);
    w.Field("openGates", worm.openGates);
    w.Field("boostSteps", worm.boostSteps);
    w.Field("exitTimer", worm.exitTimer);
    w.Field("heading", worm.Heading());
    WriteCell(w, "head", worm.segments[1].cellX, worm.segments[1].cellY);
    w.Field("speed", static_cast<double>(worm.speed));
    w.Field("maxSpeed", static_cast<double>(worm.maxSpeed));
    w.Field("stepProgress", static_cast<double>(worm.stepProgress));
    WriteStats(w, worm.stats);
    w.Field("ship", worm.ship);
    w.EndObject();
}

void WriteWorms(JsonWriter& w, const Match& m) {
    w.BeginArray("worms");
    for (const Worm& worm : m.worms) WriteWorm(w, worm);
    w.EndArray();
}

void WriteFood(JsonWriter& w, const FoodSet& food) {
    w.BeginArray("food");
    for (const FoodItem& item : food.items) {
        if (item.cellType == CellType::Empty) continue;
        w.BeginObject();
        w.Field("x", item.cellX);
        w.Field("y", item.cellY);
        w.Field("cellType", item.cellType);
        w.Field("spriteIndex", item.spriteIndex);
        w.EndObject();
    }
    w.EndArray();
}

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
    w.Field("notice", menu.noticePasses > 0 ? static_cast<const char*>(menu.notice) : "");
    w.EndObject();
}

void WriteOptions(JsonWriter& w, const OptionsScreen& options) {
    w.BeginObject("options");
    w.Field("waiting", options.waiting);
    w.Field("hovered", options.hovered);
    w.Field("notice", static_cast<const char*>(options.notice));
    w.EndObject();
}

void WriteTwoPlayers(JsonWriter& w, const TwoPlayersScreen& screen) {
    w.BeginObject("twoPlayers");
    w.Field("address", static_cast<const char*>(screen.address));
    w.Field("lookingUp", screen.lookup.GetState() == NetResolver::State::Running);
    w.Field("joinAt", static_cast<const char*>(screen.joinAt));
    w.Field("notice", static_cast<const char*>(screen.notice));
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
    WriteOptions(w, game.optionsScreen);
    WriteTwoPlayers(w, game.twoPlayersScreen);
    WriteSounds(w);
    WriteHighScores(w, game.highScoreScreen);
    WriteSetup(w, game.setupScreen);
    WritePlayerSetup(w, game.playerSetup);
    WriteMatch(w, game.match);
    WriteLevel(w, game.match.level);
    WriteWorms(w, game.match);
    WriteFood(w, game.match.food);
    WriteWorld(w, game.world);
    w.EndObject();
}

std::string GameStateJson(const Game& game, int64_t frame) {
    JsonWriter w;
    WriteGameState(w, game, frame);
    return w.Text();
}
