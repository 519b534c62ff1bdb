#include "WormPlanner.h"

namespace {

struct Reach {
    int32_t room = 0;
    int32_t foodSteps = -1;
    bool enclosed = false;  // a pocket that the worm may fill before it opens
};

struct Node {
    int8_t x, y;
    bool fed;
    int32_t step;
};

constexpr int32_t kCells = kArenaColumns * kArenaRows;

// Whether a cell can be entered at `step`, once food has or has not been
// eaten on the way there.
bool Open(const PlanBoard& board, int32_t x, int32_t y, int32_t step, bool fed) {
    if (!InArena(x, y)) return false;
    const int32_t f = board.freeFrom[x][y];
    if (f == 0) return true;
    if (f >= PlanBoard::kNever) return false;
    return f + (fed ? kMostFoodGrowth : 0) <= step;
}

// The cells reachable from `start`, entered at `startStep`, by a
// breadth-first search in which each cell is searched twice: reached before
// any food was eaten on the way, and after. Cells marked in `taken` are not
// entered.
int32_t CountRoom(const PlanBoard& board, const bool (&taken)[kArenaColumns][kArenaRows], CellPos start,
                  int32_t startStep, bool startFed) {
    bool seen[2][kArenaColumns][kArenaRows] = {};
    bool counted[kArenaColumns][kArenaRows] = {};
    Node queue[2 * kCells];
    int32_t head = 0, tail = 0, room = 0;
    const bool fed0 = startFed || board.food[start.x][start.y];
    seen[fed0][start.x][start.y] = true;
    queue[tail++] = Node{static_cast<int8_t>(start.x), static_cast<int8_t>(start.y), fed0, startStep};
    while (head < tail) {
        const Node n = queue[head++];
        if (!counted[n.x][n.y]) {
            counted[n.x][n.y] = true;
            ++room;
        }
        for (int32_t h = 0; h < 4; ++h) {
            const int32_t x = n.x + kHeadingDx[h];
            const int32_t y = n.y + kHeadingDy[h];
            if (!Open(board, x, y, n.step + 1, n.fed) || taken[x][y]) continue;
            const bool fed = n.fed || board.food[x][y];
            if (seen[fed][x][y]) continue;
            seen[fed][x][y] = true;
            queue[tail++] = Node{static_cast<int8_t>(x), static_cast<int8_t>(y), fed, n.step + 1};
        }
    }
    return room;
}

// Whether the way through `start` leads into a pocket: the free cells
// reachable without waiting for any worm to move on are few, and the worm
// cells that close them off open later than the worm could go on turning
// inside (each food eaten there holds the tail back further).
bool Enclosed(const PlanBoard& board, CellPos from, CellPos start) {
    bool seen[kArenaColumns][kArenaRows] = {};
    CellPos queue[kCells];
    int32_t head = 0, tail = 0, food = 0;
    int32_t opens = PlanBoard::kNever;
    seen[from.x][from.y] = true;
    seen[start.x][start.y] = true;
    queue[tail++] = start;
    while (head < tail) {
        const CellPos c = queue[head++];
        if (board.food[c.x][c.y]) ++food;
        for (int32_t h = 0; h < 4; ++h) {
            const int32_t x = c.x + kHeadingDx[h];
            const int32_t y = c.y + kHeadingDy[h];
            if (!InArena(x, y) || seen[x][y]) continue;
            const int32_t f = board.freeFrom[x][y];
            if (f != 0) {
                if (f < opens) opens = f;
                continue;
            }
            seen[x][y] = true;
            queue[tail++] = CellPos{x, y};
        }
    }
    const int32_t cells = tail;
    if (cells >= kOpenRoom) return false;
    return opens >= PlanBoard::kNever || opens + food * kMostFoodGrowth >= cells;
}

// The way through `start`: the room it leaves, and the nearest food that
// can be eaten there with room enough left afterwards (`need` cells, with
// the way there taken by the worm's body).
Reach Explore(const PlanBoard& board, CellPos from, CellPos start, int32_t length, bool bold) {
    Reach reach;
    bool taken[kArenaColumns][kArenaRows] = {};
    taken[from.x][from.y] = true;
    reach.room = CountRoom(board, taken, start, 1, false);
    reach.enclosed = Enclosed(board, from, start);
    int32_t need = length + 3 > kSafeRoom ? length + 3 : kSafeRoom;
    if (need > reach.room) need = reach.room;
    if (bold) need = 1;

    // Shortest ways before any food is eaten: each food found, nearest
    // first, is tried until one leaves room enough.
    int8_t parentX[kArenaColumns][kArenaRows];
    int8_t parentY[kArenaColumns][kArenaRows];
    int32_t stepAt[kArenaColumns][kArenaRows];
    bool seen[kArenaColumns][kArenaRows] = {};
    CellPos queue[kCells];
    int32_t head = 0, tail = 0;
    seen[from.x][from.y] = true;
    seen[start.x][start.y] = true;
    parentX[start.x][start.y] = -1;
    parentY[start.x][start.y] = -1;
    stepAt[start.x][start.y] = 1;
    queue[tail++] = start;
    while (head < tail) {
        const CellPos c = queue[head++];
        const int32_t step = stepAt[c.x][c.y];
        if (board.food[c.x][c.y]) {
            bool path[kArenaColumns][kArenaRows] = {};
            path[from.x][from.y] = true;
            // The parents are signed on purpose: -1 marks the start.
            // NOLINTNEXTLINE(bugprone-signed-char-misuse)
            for (int32_t px = parentX[c.x][c.y], py = parentY[c.x][c.y]; px >= 0;) {
                path[px][py] = true;
                const int32_t nx = parentX[px][py], ny = parentY[px][py];  // NOLINT(bugprone-signed-char-misuse)
                px = nx;
                py = ny;
            }
            if (CountRoom(board, path, c, step, true) >= need) {
                reach.foodSteps = step;
                return reach;
            }
            continue;  // no way on through food that is not eaten here
        }
        for (int32_t h = 0; h < 4; ++h) {
            const int32_t x = c.x + kHeadingDx[h];
            const int32_t y = c.y + kHeadingDy[h];
            if (!board.Passable(x, y, step + 1) || seen[x][y]) continue;
            seen[x][y] = true;
            parentX[x][y] = static_cast<int8_t>(c.x);
            parentY[x][y] = static_cast<int8_t>(c.y);
            stepAt[x][y] = step + 1;
            queue[tail++] = CellPos{x, y};
        }
    }
    return reach;
}

}  // namespace

void BuildPlanBoard(const ArenaGrid& grid, const Worm* const worms[], int32_t wormCount, PlanBoard* board) {
    for (int32_t x = 0; x < kArenaColumns; ++x) {
        for (int32_t y = 0; y < kArenaRows; ++y) {
            const int32_t type = grid.TypeAt(x, y);
            board->food[x][y] = type == CellType::Food;
            board->freeFrom[x][y] = type == CellType::Wall || type == CellType::Occupied ? PlanBoard::kNever : 0;
        }
    }
    // Worm cells free up behind the tail. Several segments can share a cell
    // (a worm just started); the one nearest the head decides.
    int32_t wormFree[kArenaColumns][kArenaRows];
    for (auto& column : wormFree)
        for (int32_t& v : column) v = -1;
    for (int32_t i = 0; i < wormCount; ++i) {
        const Worm* w = worms[i];
        if (!w || !w->alive) continue;
        const int32_t growth = w->pendingGrowth > 0 ? w->pendingGrowth : 0;
        for (int32_t k = 0; k <= w->length && k < kWormSegments; ++k) {
            const Segment& s = w->segments[k];
            if (!InArena(s.cellX, s.cellY)) continue;
            const int32_t from = w->length - k + 1 + growth;
            if (from > wormFree[s.cellX][s.cellY]) wormFree[s.cellX][s.cellY] = from;
        }
        // The target cell of a worm is its next head cell: never free.
        const Segment& target = w->segments[0];
        if (InArena(target.cellX, target.cellY)) wormFree[target.cellX][target.cellY] = PlanBoard::kNever;
    }
    for (int32_t x = 0; x < kArenaColumns; ++x)
        for (int32_t y = 0; y < kArenaRows; ++y)
            if (wormFree[x][y] >= 0 && grid.TypeAt(x, y) == CellType::Occupied) board->freeFrom[x][y] = wormFree[x][y];
}

PlanResult ChooseHeading(const PlanBoard& board, CellPos from, int32_t heading, int32_t length, Appetite appetite) {
    const bool bold = appetite != Appetite::Careful;
    struct Way {
        int32_t heading;
        Reach reach;
    };
    PlanResult result;
    result.heading = heading & 3;
    if (!InArena(from.x, from.y)) return result;
    Way ways[3];
    int32_t count = 0;
    static const int32_t kTurns[3] = {0, 1, 3};  // straight on first, then right, then left
    for (int32_t turn : kTurns) {
        const int32_t h = (heading + turn) & 3;
        const CellPos next{from.x + kHeadingDx[h], from.y + kHeadingDy[h]};
        if (!board.Passable(next.x, next.y, 1)) continue;
        ways[count++] = Way{h, Explore(board, from, next, length, bold)};
    }
    if (count == 0) return result;

    int32_t maxRoom = 0;
    for (int32_t i = 0; i < count; ++i)
        if (ways[i].reach.room > maxRoom) maxRoom = ways[i].reach.room;
    int32_t need = bold || length + 3 > kSafeRoom ? length + 3 : kSafeRoom;
    if (need > maxRoom) need = maxRoom;
    if (appetite == Appetite::Desperate) need = 1;

    bool anyOpen = false;
    for (int32_t i = 0; i < count; ++i) anyOpen = anyOpen || !ways[i].reach.enclosed;
    if (bold) anyOpen = false;

    int32_t best = -1;
    for (int32_t i = 0; i < count; ++i) {
        const Reach& r = ways[i].reach;
        if (r.room < need || r.foodSteps < 0 || (anyOpen && r.enclosed)) continue;
        if (best < 0 || r.foodSteps < ways[best].reach.foodSteps) best = i;
    }
    if (best < 0) {
        // No food to go for: the way with the most room, open ways first.
        for (int32_t i = 0; i < count; ++i) {
            if (anyOpen && ways[i].reach.enclosed) continue;
            if (best < 0 || ways[i].reach.room > ways[best].reach.room) best = i;
        }
    }
    if (best < 0) return result;  // no way at all
    result.heading = ways[best].heading;
    result.foodSteps = ways[best].reach.foodSteps;
    result.room = ways[best].reach.room;
    return result;
}
