// The level compiler: levels/Lnn.txt (see levels/README.md) to Ln.DAT.
//
// Besides the shape of the text, it checks what makes a level playable: the
// start cells are free, apart and have room to start in; every free cell can
// be reached (warp exits and food land on any free cell) and none is a dead
// end; the food fits the 20 slots also in a two-player game; the target fits
// the free area.
#include "LevelFiles.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "gfx/FontMetrics.h"
#include "match/IntroPanel.h"
#include "platform/PrintableText.h"

namespace {

constexpr int kHeadings[4][2] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}};  // up, right, down, left
constexpr const char* kHeadingNames[4] = {"up", "right", "down", "left"};
// The longest target a level gets: hard games scale it by 1.17.
constexpr double kHardFactor = 1.17;
// Food and warp exits need spare free cells beyond the food itself.
constexpr int kSpareCells = 12;

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
    return s.substr(a, b - a);
}

bool ParseInt(const std::string& s, int32_t& out) {
    if (s.empty() || s.size() > 9) return false;
    size_t i = 0;
    bool negative = false;
    if (s[0] == '-') {
        negative = true;
        i = 1;
        if (s.size() == 1) return false;
    }
    int32_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    out = negative ? -v : v;
    return true;
}

bool OnBoard(int x, int y) { return x >= 0 && y >= 0 && x < kLevelColumns && y < kLevelRows; }

bool IsMapCharacter(char c) { return c == '#' || c == '.' || c == '1' || c == '2'; }

bool IsTitleCharacter(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ') return true;
    for (const char* p = "!'-.,:?&"; *p; ++p)
        if (c == *p) return true;
    return false;
}

void Put32(uint8_t* at, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
    at[2] = static_cast<uint8_t>(v >> 16);
    at[3] = static_cast<uint8_t>(v >> 24);
}

// Free cells in a straight line from (x, y), as the worm counts them when it
// chooses the heading it starts in: up, right, down, left, the first of the
// largest wins.
struct Runway {
    int heading = 0;
    int length = 0;
};

using Blocked = std::array<bool, kLevelColumns * kLevelRows>;

bool IsBlocked(const Blocked& blocked, int x, int y) { return blocked[static_cast<size_t>(x * kLevelRows + y)]; }

Runway MostOpenHeading(const Blocked& blocked, int x, int y) {
    Runway best;
    for (int h = 0; h < 4; ++h) {
        int n = 0;
        for (int cx = x + kHeadings[h][0], cy = y + kHeadings[h][1]; OnBoard(cx, cy) && !IsBlocked(blocked, cx, cy);
             cx += kHeadings[h][0], cy += kHeadings[h][1])
            ++n;
        if (n > best.length) best = {h, n};
    }
    return best;
}

struct Cell {
    int x, y;
};

// The start cell and the cells ahead of it along its heading, up to `count`.
std::vector<Cell> Lane(const Blocked& blocked, int x, int y, const Runway& r, int count) {
    std::vector<Cell> cells{{x, y}};
    for (int i = 1; i <= count; ++i) {
        const int cx = x + kHeadings[r.heading][0] * i, cy = y + kHeadings[r.heading][1] * i;
        if (!OnBoard(cx, cy) || IsBlocked(blocked, cx, cy)) break;
        cells.push_back({cx, cy});
    }
    return cells;
}

class Parser {
public:
    Parser(const std::string& name, LevelSource& level, std::string& error)
        : name_(name), level_(level), error_(error) {}

    bool Run(const std::string& text);

private:
    struct Field {
        const char* key;
        int line = 0;
        std::string value;
    };
    enum FieldIndex { kTitle, kScene, kWalls, kTarget, kFood, kChances, kMap, kFieldCount };

    // `what` may quote the level text: it is printed without control characters.
    bool Fail(int line, const std::string& what) {
        error_ = name_ + ":" + std::to_string(line) + ": " + Printable(what);
        return false;
    }
    bool ReadLines(const std::string& text);
    bool ReadMapRow(int line, const std::string& row);
    bool CheckFields();
    bool CheckMap();
    int RowLine(int y) const { return mapRowLines_[static_cast<size_t>(y)]; }

    const std::string& name_;
    LevelSource& level_;
    std::string& error_;
    Field fields_[kFieldCount] = {{"title", 0, {}}, {"scene", 0, {}},   {"walls", 0, {}}, {"target", 0, {}},
                                  {"food", 0, {}},  {"chances", 0, {}}, {"map", 0, {}}};
    std::vector<std::string> mapRows_;
    std::vector<int> mapRowLines_;
    int lastLine_ = 0;
    int start1Line_ = 0, start2Line_ = 0;
};

bool Parser::Run(const std::string& text) {
    level_ = LevelSource{};
    return ReadLines(text) && CheckFields() && CheckMap();
}

bool Parser::ReadLines(const std::string& text) {
    std::istringstream in(text);
    std::string raw;
    int line = 0;
    bool inMap = false;
    while (std::getline(in, raw)) {
        ++line;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        const std::string s = Trim(raw);
        if (inMap) {
            if (!ReadMapRow(line, s)) return false;
            inMap = static_cast<int>(mapRows_.size()) < kLevelRows;
            continue;
        }
        if (s.empty() || s[0] == ';') continue;
        const size_t colon = s.find(':');
        if (colon == std::string::npos) {
            bool mapLike = fields_[kMap].line != 0;
            for (char c : s) mapLike = mapLike && IsMapCharacter(c);
            if (mapLike) return Fail(line, "the map has more than 14 rows");
            return Fail(line, "expected 'field: value', found '" + s + "'");
        }
        const std::string key = Trim(s.substr(0, colon));
        const std::string value = Trim(s.substr(colon + 1));
        Field* field = nullptr;
        for (Field& f : fields_)
            if (key == f.key) field = &f;
        if (!field) return Fail(line, "unknown field '" + key + "'");
        if (field->line != 0)
            return Fail(line, "'" + key + "' is given twice (first on line " + std::to_string(field->line) + ")");
        field->line = line;
        field->value = value;
        if (field == &fields_[kMap]) {
            if (!value.empty()) return Fail(line, "the map starts on the line after 'map:'");
            inMap = true;
        }
    }
    lastLine_ = line;
    if (inMap)
        return Fail(line,
                    "the map has " + std::to_string(mapRows_.size()) + " rows; it needs " + std::to_string(kLevelRows));
    return true;
}

bool Parser::ReadMapRow(int line, const std::string& row) {
    const int y = static_cast<int>(mapRows_.size());
    for (size_t x = 0; x < row.size(); ++x)
        if (!IsMapCharacter(row[x]))
            return Fail(line, std::string("unknown map character '") + row[x] + "' in column " + std::to_string(x) +
                                  " (use '#' wall, '.' free, '1' and '2' the start cells)");
    if (static_cast<int>(row.size()) != kLevelColumns)
        return Fail(line, "map row " + std::to_string(y) + " has " + std::to_string(row.size()) + " cells; a row has " +
                              std::to_string(kLevelColumns));
    mapRows_.push_back(row);
    mapRowLines_.push_back(line);
    return true;
}

bool Parser::CheckFields() {
    for (const Field& f : fields_)
        if (f.line == 0) return Fail(lastLine_, std::string("missing field '") + f.key + "'");

    // Title: shown in the big font on the level intro.
    const Field& title = fields_[kTitle];
    if (title.value.empty()) return Fail(title.line, "the title is empty");
    if (title.value.size() > kLevelTitleMax)
        return Fail(title.line, "the title has " + std::to_string(title.value.size()) +
                                    " characters; the intro panel shows at most " + std::to_string(kLevelTitleMax));
    for (char c : title.value) {
        if (c >= 'a' && c <= 'z') return Fail(title.line, "the title must be upper case");
        if (!IsTitleCharacter(c))
            return Fail(title.line, std::string("the title has a character the big font cannot show: '") + c + "'");
    }
    const int width = kBigFontMetrics.TextWidth(title.value.c_str());
    if (width > kIntroTitleRoom)
        return Fail(title.line, "the title \"" + title.value + "\" is " + std::to_string(width) +
                                    " pixels wide in the big font; the intro panel has room for " +
                                    std::to_string(kIntroTitleRoom));
    level_.title = title.value;

    // Scene and wall design: painted together into the level's own picture.
    struct Choice {
        FieldIndex field;
        const char* what;
        const char* const* names;
        size_t count;
        int32_t* out;
    };
    const Choice choices[] = {{kScene, "scene", kLevelScenes.data(), kLevelScenes.size(), &level_.scene},
                              {kWalls, "wall design", kWallStyles.data(), kWallStyles.size(), &level_.wallStyle}};
    for (const Choice& c : choices) {
        const Field& f = fields_[c.field];
        std::string known;
        *c.out = -1;
        for (size_t i = 0; i < c.count; ++i) {
            if (f.value == c.names[i]) *c.out = static_cast<int32_t>(i);
            known += (known.empty() ? "" : ", ") + std::string(c.names[i]);
        }
        if (*c.out < 0)
            return Fail(f.line, std::string("unknown ") + c.what + " '" + f.value + "'; use one of " + known);
    }

    const Field& target = fields_[kTarget];
    if (!ParseInt(target.value, level_.target))
        return Fail(target.line, "the target '" + target.value + "' is not a whole number");
    if (level_.target < 3 || level_.target > 200)
        return Fail(target.line, "the target must be 3 to 200, not " + target.value);

    const Field& food = fields_[kFood];
    if (!ParseInt(food.value, level_.foodCount))
        return Fail(food.line, "the food count '" + food.value + "' is not a whole number");
    const int maxFood = kLevelFoodSlots - kLevelExtraFood;
    if (level_.foodCount < 1 || level_.foodCount > maxFood)
        return Fail(food.line, "the food count must be 1 to " + std::to_string(maxFood) + " (two-player games add " +
                                   std::to_string(kLevelExtraFood) + " to it, and there are " +
                                   std::to_string(kLevelFoodSlots) + " food slots), not " + food.value);

    const Field& chances = fields_[kChances];
    std::istringstream words(chances.value);
    std::vector<std::string> parts{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
    if (parts.size() != 3) return Fail(chances.line, "the chances are three whole numbers: A B C");
    int32_t* slots[3] = {&level_.chanceA, &level_.chanceB, &level_.chanceC};
    for (size_t i = 0; i < 3; ++i)
        if (!ParseInt(parts[i], *slots[i]) || *slots[i] < 0)
            return Fail(chances.line, "the chance '" + parts[i] + "' is not a whole number of 0 or more");
    if (level_.chanceA + level_.chanceB + level_.chanceC > 100)
        return Fail(chances.line, "the chances add up to " +
                                      std::to_string(level_.chanceA + level_.chanceB + level_.chanceC) +
                                      "; at most 100");
    return true;
}

bool Parser::CheckMap() {
    bool start1 = false, start2 = false;
    for (int y = 0; y < kLevelRows; ++y)
        for (int x = 0; x < kLevelColumns; ++x) {
            const char c = mapRows_[static_cast<size_t>(y)][static_cast<size_t>(x)];
            level_.walls[static_cast<size_t>(x * kLevelRows + y)] = c == '#';
            if (c == '1' || c == '2') {
                bool& seen = c == '1' ? start1 : start2;
                int& seenLine = c == '1' ? start1Line_ : start2Line_;
                if (seen)
                    return Fail(RowLine(y), std::string("player ") + c + "'s start is marked twice (also on line " +
                                                std::to_string(seenLine) + ")");
                seen = true;
                seenLine = RowLine(y);
                (c == '1' ? level_.start1X : level_.start2X) = x;
                (c == '1' ? level_.start1Y : level_.start2Y) = y;
            }
        }
    if (!start1) return Fail(fields_[kMap].line, "the map has no start cell '1' for player 1");
    if (!start2) return Fail(fields_[kMap].line, "the map has no start cell '2' for player 2");

    // The top row carries the score and the target line: free or all wall.
    int topWalls = 0;
    for (int x = 0; x < kLevelColumns; ++x) topWalls += level_.Wall(x, 0) ? 1 : 0;
    if (level_.start1Y == 0 || level_.start2Y == 0)
        return Fail(RowLine(0), "a start cell lies in the top row, under the score line");
    if (topWalls != 0 && topWalls != kLevelColumns)
        return Fail(RowLine(0), "the top row holds the score line: leave it all free or wall it all");

    const int dx = level_.start1X - level_.start2X, dy = level_.start1Y - level_.start2Y;
    if (dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1)
        return Fail(start2Line_, "the start cells touch; keep at least one cell between them");

    // The worms start together: player 1 first, with player 2's gate in the
    // way; then player 2, with player 1's head and the cell ahead of it.
    Blocked blocked = level_.walls;
    blocked[static_cast<size_t>(level_.start2X * kLevelRows + level_.start2Y)] = true;
    const Runway r1 = MostOpenHeading(blocked, level_.start1X, level_.start1Y);
    if (r1.length < kLevelMinRunway)
        return Fail(start1Line_, "player 1's start has " + std::to_string(r1.length) +
                                     " free cells ahead in its most open direction; it needs " +
                                     std::to_string(kLevelMinRunway));
    Blocked blocked2 = level_.walls;
    blocked2[static_cast<size_t>(level_.start1X * kLevelRows + level_.start1Y)] = true;
    blocked2[static_cast<size_t>((level_.start1X + kHeadings[r1.heading][0]) * kLevelRows + level_.start1Y +
                                 kHeadings[r1.heading][1])] = true;
    const Runway r2 = MostOpenHeading(blocked2, level_.start2X, level_.start2Y);
    if (r2.length < kLevelMinRunway)
        return Fail(start2Line_, "player 2's start has " + std::to_string(r2.length) +
                                     " free cells ahead in its most open direction; it needs " +
                                     std::to_string(kLevelMinRunway));
    // Head-on: player 2 sits on player 1's runway, facing it.
    if (r2.heading == (r1.heading + 2) % 4) {
        for (const Cell& c : Lane(level_.walls, level_.start1X, level_.start1Y, r1, kLevelColumns))
            if (c.x == level_.start2X && c.y == level_.start2Y)
                return Fail(start2Line_, std::string("the worms start head-on (player 1 ") + kHeadingNames[r1.heading] +
                                             ", player 2 " + kHeadingNames[r2.heading] + " on the same line)");
    }
    const std::vector<Cell> lane1 = Lane(blocked, level_.start1X, level_.start1Y, r1, kLevelMinRunway + 1);
    const std::vector<Cell> lane2 = Lane(blocked2, level_.start2X, level_.start2Y, r2, kLevelMinRunway + 1);
    for (const Cell& a : lane1)
        for (const Cell& b : lane2)
            if (a.x == b.x && a.y == b.y)
                return Fail(start2Line_, std::string("the worms' first steps cross (player 1 starts ") +
                                             kHeadingNames[r1.heading] + ", player 2 " + kHeadingNames[r2.heading] +
                                             ")");

    // Every free cell can be reached: food and warp exits land anywhere free.
    std::array<bool, kLevelColumns * kLevelRows> seen{};
    std::vector<Cell> todo{{level_.start1X, level_.start1Y}};
    seen[static_cast<size_t>(level_.start1X * kLevelRows + level_.start1Y)] = true;
    while (!todo.empty()) {
        const Cell c = todo.back();
        todo.pop_back();
        for (const auto& h : kHeadings) {
            const int x = c.x + h[0], y = c.y + h[1];
            const size_t i = static_cast<size_t>(x * kLevelRows + y);
            if (!OnBoard(x, y) || level_.Wall(x, y) || seen[i]) continue;
            seen[i] = true;
            todo.push_back({x, y});
        }
    }
    int freeCells = 0, foodCells = 0;
    for (int y = 0; y < kLevelRows; ++y)
        for (int x = 0; x < kLevelColumns; ++x) {
            if (level_.Wall(x, y)) continue;
            if (!seen[static_cast<size_t>(x * kLevelRows + y)])
                return Fail(RowLine(y), "the free cell in column " + std::to_string(x) + " of row " +
                                            std::to_string(y) + " is sealed off from the start cells");
            ++freeCells;
            const bool start =
                (x == level_.start1X && y == level_.start1Y) || (x == level_.start2X && y == level_.start2Y);
            if (y >= 1 && !start) ++foodCells;
        }

    // A free cell with a single way in is a dead end: a worm that goes in
    // can only crash its way out.
    for (int y = 0; y < kLevelRows; ++y)
        for (int x = 0; x < kLevelColumns; ++x) {
            if (level_.Wall(x, y)) continue;
            int ways = 0;
            for (const auto& h : kHeadings)
                ways += OnBoard(x + h[0], y + h[1]) && !level_.Wall(x + h[0], y + h[1]) ? 1 : 0;
            if (ways < 2)
                return Fail(RowLine(y), "the free cell in column " + std::to_string(x) + " of row " +
                                            std::to_string(y) +
                                            " is a dead end: a worm can only crash its way out of it");
        }

    const int foodNeeds = level_.foodCount + kLevelExtraFood + kSpareCells;
    if (foodCells < foodNeeds)
        return Fail(fields_[kFood].line, "the map has " + std::to_string(foodCells) + " free cells for food; " +
                                             std::to_string(level_.foodCount) + " items need " +
                                             std::to_string(foodNeeds));
    const double hardTarget = level_.target * kHardFactor;
    if (hardTarget > freeCells / 2.0)
        return Fail(fields_[kTarget].line, "a target of " + std::to_string(level_.target) +
                                               " is too long for the map's " + std::to_string(freeCells) +
                                               " free cells: on hard a worm would fill more than half of them");
    return true;
}

}  // namespace

bool ParseLevel(const std::string& text, const std::string& name, LevelSource& level, std::string& error) {
    Parser parser(name, level, error);
    return parser.Run(text);
}

std::array<uint8_t, kLevelFileSize> EncodeLevel(const LevelSource& level) {
    std::array<uint8_t, kLevelFileSize> bytes{};
    // Both names stay below 150 bytes, so the zero padding terminates them.
    for (size_t i = 0; i < level.background.size() && i < 149; ++i)
        bytes[i] = static_cast<uint8_t>(level.background[i]);
    for (size_t i = 0; i < level.title.size() && i < 149; ++i) bytes[150 + i] = static_cast<uint8_t>(level.title[i]);
    const int32_t header[] = {level.target,  level.chanceA, level.chanceB, level.chanceC, level.foodCount,
                              level.start1X, level.start1Y, level.start2X, level.start2Y};
    for (size_t i = 0; i < std::size(header); ++i) Put32(&bytes[300 + 4 * i], header[i]);
    for (size_t i = 0; i < level.walls.size(); ++i) Put32(&bytes[336 + 4 * i], level.walls[i] ? 1 : 0);
    return bytes;
}

std::string LevelSourceName(int index) {
    char name[16];
    std::snprintf(name, sizeof name, "L%02d.txt", index);
    return name;
}

std::string LevelFileName(int index) {
    char name[16];
    std::snprintf(name, sizeof name, "L%d.DAT", index);
    return name;
}

std::string LevelPictureName(int index) { return "Arena" + std::to_string(index) + ".dat"; }

std::string LevelPicturePath(int index) { return "grafik\\" + LevelPictureName(index); }

bool ReadLevelSources(const std::string& sourceDir, std::array<LevelSource, kLevelFileCount>& levels) {
    bool ok = true;
    for (int i = 0; i < kLevelFileCount; ++i) {
        const std::string source = sourceDir + "/" + LevelSourceName(i);
        std::ifstream in(source, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "mkdata: %s: cannot be read\n", source.c_str());
            ok = false;
            continue;
        }
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        LevelSource& level = levels[static_cast<size_t>(i)];
        std::string error;
        if (!ParseLevel(text, source, level, error)) {
            std::fprintf(stderr, "mkdata: %s\n", error.c_str());
            ok = false;
            continue;
        }
        level.background = LevelPicturePath(i);
    }
    return ok;
}

bool WriteLevelFiles(const std::string& sourceDir, const std::string& outDir) {
    std::array<LevelSource, kLevelFileCount> levels;
    return ReadLevelSources(sourceDir, levels) && WriteLevelFiles(levels, outDir);
}

bool WriteLevelFiles(const std::array<LevelSource, kLevelFileCount>& levels, const std::string& outDir) {
    bool ok = true;
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    for (int i = 0; i < kLevelFileCount; ++i) {
        const LevelSource& level = levels[static_cast<size_t>(i)];
        const auto bytes = EncodeLevel(level);
        const std::string target = outDir + "/" + LevelFileName(i);
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "mkdata: cannot write %s\n", target.c_str());
            ok = false;
        }
    }
    return ok;
}
