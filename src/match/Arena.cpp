#include "match/Arena.h"

#include <cstring>
#include <initializer_list>

#include "match/WallSheet.h"
#include "platform/Host.h"
#include "platform/LittleEndian.h"

namespace {

bool Refuse(ReadError* error, const char* rule) { return ReadFailed(error, ReadStatus::Malformed, rule); }

bool Terminated(const uint8_t* p, int n) { return std::memchr(p, 0, static_cast<size_t>(n)) != nullptr; }

void Decode(const uint8_t* bytes, LevelHeader* header, WallMap* map) {
    std::memcpy(header->backgroundFile, bytes, 150);
    std::memcpy(header->title, bytes + 150, 150);
    int32_t* fields = &header->target;
    for (int i = 0; i < 9; ++i) fields[i] = ReadLittleEndian<int32_t>(bytes + 300 + 4 * i);
    for (int i = 0; i < 280; ++i) map->flags[i] = ReadLittleEndian<int32_t>(bytes + 336 + 4 * i);
}

}  // namespace

void Arena::Init(ArenaGrid* g, Font* small, Font* medium) {
    grid = g;
    smallFont = small;
    mediumFont = medium;
    wallImage = CreateSurface(kWallSheetWidth, kWallSheetHeight, SystemMemory);
    background = CreateSurface(kScreenWidth, kScreenHeight, VideoMemory);
    loader.LoadSurface("grafik\\walls.dat", wallImage, nullptr);
    SetSourceColorKey(0, 0, wallImage);
    wallSprite.Init(wallImage, kWallTileCell, 1, 1);
}

bool Arena::Check(const uint8_t* bytes, int64_t size, int32_t extraFood, ReadError* error) {
    if (size < kLevelFileBytes) return Refuse(error, "the file is shorter than a level");
    if (!Terminated(bytes, 150)) return Refuse(error, "the picture name is not terminated");
    if (!Terminated(bytes + 150, 150)) return Refuse(error, "the title is not terminated");
    LevelHeader h;
    static WallMap map;  // checked once per level load, not per frame
    Decode(bytes, &h, &map);
    // Sums in 64 bits: a count from a file may be anything.
    const int64_t food = static_cast<int64_t>(h.foodCount) + extraFood;
    if (h.foodCount < 0 || extraFood < 0 || food > kMaxFood)
        return Refuse(error, "the food count does not fit the food slots");
    if (!ArenaGrid::OnBoard(h.start1X, h.start1Y) || !ArenaGrid::OnBoard(h.start2X, h.start2Y))
        return Refuse(error, "a start cell lies off the board");
    const int32_t cells[2][2] = {{h.start1X, h.start1Y}, {h.start2X, h.start2Y}};
    for (const auto& c : cells)
        if (map.flags[c[0] * 14 + c[1]] != 0) return Refuse(error, "a start cell is a wall");
    int32_t free = 0;
    for (int x = 0; x < 20; ++x)
        for (int y = 1; y < 14; ++y) {
            if (map.flags[x * 14 + y] != 0) continue;
            if ((x == h.start1X && y == h.start1Y) || (x == h.start2X && y == h.start2Y)) continue;
            ++free;
        }
    if (free < food + kMinSpareCells) return Refuse(error, "the level leaves too few free cells");
    if (h.target < 0 || h.target > 900) return Refuse(error, "the target length is out of range");
    return true;
}

bool Arena::Load(const uint8_t* bytes, int64_t size, float factor, const char* name1, const char* name2,
                 int32_t levelIndex, int32_t extraFood, ReadError* error) {
    if (!Check(bytes, size, extraFood, error)) return false;
    LevelHeader newHeader;
    static WallMap newMap;
    Decode(bytes, &newHeader, &newMap);

    // The picture comes first: if it cannot be read, the level is refused
    // and the arena keeps what it had.
    uint8_t* pixels = LockSurface(background);
    static uint8_t saved[kScreenWidth * kScreenHeight];
    std::memcpy(saved, pixels, sizeof saved);
    PaletteEntry palette[kPaletteSize];
    ReadError pictureError;
    const bool pictureOk =
        loader.Load(newHeader.backgroundFile, pixels, kScreenWidth, kScreenHeight, palette, &pictureError);
    UnlockSurface(background);
    if (!pictureOk) {
        // Told as any picture is, but a refused level is not a failed
        // start-up: imageLoadFailed stays as it is.
        TellPictureFailure(newHeader.backgroundFile, pictureError);
        std::memcpy(pixels, saved, sizeof saved);
        return ReadFailed(error, pictureError.status, "its arena picture cannot be loaded");
    }
    std::memcpy(backgroundPalette, palette, sizeof palette);
    header = newHeader;
    wallMap = newMap;

    wallCount = 0;
    for (WallCell& w : walls) w.cellType = 0;
    for (int32_t y = 0; y < 14; ++y)
        for (int32_t x = 0; x < 20; ++x) {
            if (wallMap.flags[x * 14 + y] == 0) continue;
            WallCell& w = walls[wallCount++];
            w.cellX = x;
            w.cellY = y;
            w.offsetX = w.offsetY = 0;
            w.cellType = CellType::Wall;
        }
    for (int32_t x : {0, 330})
        Blit(kStatusPanelX, kStatusPanelY, kStatusPanelX + kStatusPanelWidth, kStatusPanelY + kStatusPanelHeight,
             wallImage, x, 449, background, BlitKey::Keyed);
    for (int32_t i = 0; i < wallCount; ++i) {
        wallSprite.Draw(walls[i].cellX * 32, walls[i].cellY * 32, background);
        grid->Place(&walls[i]);
    }
    Blit(0, 0, kScreenWidth, kScreenHeight, background, 0, 0, backBuffer, BlitKey::Opaque);
    if (levelIndex != 5) {
        mediumFont->DrawText(background, 190, 2, "COMPLETED AT: ", TextExtent::Whole);
        header.target = static_cast<int32_t>(static_cast<double>(header.target) * static_cast<double>(factor));
        mediumFont->DrawNumber(background, 370, 2, header.target);
    }
    smallFont->DrawText(background, 539, 450, name1, TextExtent::Whole);
    smallFont->DrawText(background, 211, 450, name2, TextExtent::Whole);
    return true;
}

void Arena::Draw() {
    Blit(0, 0, kScreenWidth, kScreenHeight, background, 0, 0, backBuffer, BlitKey::Opaque);
    for (int32_t i = 0; i < wallCount; ++i) grid->Place(&walls[i]);
}

void Arena::Release() {
    if (wallImage) ReleaseSurface(wallImage);
    if (background) ReleaseSurface(background);
    wallImage = background = nullptr;
}
