#pragma once
#include <cstdint>
#include <iterator>

#include "gfx/Display.h"
#include "gfx/ImageLoader.h"

// The image bank's slots by name, and the picture each one is loaded from
// with the size of its surface. The bank fills its slots in load order, so
// the game adds kImageSlotFiles front to back and each picture lands in the
// slot beside it. The numbers are the slots the game has always used.
enum ImageSlot : int {
    kImageWorm0 = 0,       // ship type 0's worm ("SW1.dat")
    kImageWorm1 = 1,       // ship type 1's worm ("SW2.dat")
    kImageExplosions = 2,  // a worm segment blowing up
    kImageShared = 3,      // the crash flashes and the warp gate
    kImageComplete = 4,    // over the high-score table after the last level
    kImagePanel = 5,       // the level intro, EXIT Y/N and GAME OVER box
    kImageSlotCount
};
static_assert(kImageSlotCount <= kImageBankSlots);

struct ImageSlotFile {
    ImageSlot slot;
    const char* file;
    int32_t width, height;
    Placement placement;
};

inline constexpr ImageSlotFile kImageSlotFiles[] = {
    {kImageWorm0, "grafik\\SW1.dat", 640, 140, VideoMemory},
    {kImageWorm1, "grafik\\SW2.dat", 640, 140, VideoMemory},
    {kImageExplosions, "grafik\\Explotions.dat", 640, 250, VideoMemory},
    {kImageShared, "grafik\\Shared.dat", 640, 180, VideoMemory},
    {kImageComplete, "grafik\\Complete.dat", 400, 200, SystemMemory},
    {kImagePanel, "grafik\\RutNat.dat", 320, 200, SystemMemory},
};
static_assert(std::size(kImageSlotFiles) == kImageSlotCount, "one picture for every image slot");

// Every entry stands at its own slot's index, so adding in order fills each slot.
constexpr bool ImageSlotFilesInOrder() {
    for (int i = 0; i < kImageSlotCount; ++i)
        if (kImageSlotFiles[i].slot != i) return false;
    return true;
}
static_assert(ImageSlotFilesInOrder(), "kImageSlotFiles lists the slots in order");
