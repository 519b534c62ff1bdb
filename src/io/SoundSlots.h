#pragma once
#include <iterator>

#include "io/SoundBank.h"

// The game's sound slots by name, and the file each one is loaded from. The
// sound bank fills its slots in load order, so the game loads
// kSoundSlotFiles front to back and each file lands in the slot beside it.
// The numbers are the slots the game has always used; slots 4, 5, 12, 20,
// 22 and 23 are loaded but never played, and keep the numbers of the slots
// after them where they are.
enum SoundSlot : int {
    kSoundTouch = 0,    // the pointer comes onto a menu item
    kSoundClick = 1,    // a button or label clicked
    kSoundCredits = 2,  // a credits panel slides in
    kSoundClickNo = 3,  // a key or button refused, a wait given up
    kSoundClick2 = 4,
    kSoundClick3 = 5,
    kSoundGrow1 = 6,  // eating food of type 0 .. 3
    kSoundGrow2 = 7,
    kSoundGrow3 = 8,
    kSoundGrow4 = 9,
    kSoundAttach = 10,   // eating a rocket charge
    kSoundRockets = 11,  // a boost or brake fires
    kSoundAttach2 = 12,
    kSoundWarp = 13,          // a warp gate opens (also a worm's start)
    kSoundWarpRefused = 14,   // no gate left, or nowhere to come out
    kSoundHyperOut = 15,      // the jump out of the level
    kSoundExitBeep = 16,      // each second of the exit countdown
    kSoundSmallCollide = 17,  // a crash the shield takes
    kSoundPlasma = 18,
    kSoundDeath = 19,  // a worm explodes
    kSoundDead = 20,
    kSoundInfo = 21,  // the pointer comes onto the info screen's ball
    kSoundInfo2 = 22,
    kSoundInfo3 = 23,
    kSoundHum = 24,  // the menu's background hum, looping
    kSoundSlotCount
};
static_assert(kSoundSlotCount <= kSoundSlots);

struct SoundSlotFile {
    SoundSlot slot;
    const char* file;
};

inline constexpr SoundSlotFile kSoundSlotFiles[] = {
    {kSoundTouch, "sound\\btouch.dat"},
    {kSoundClick, "sound\\click.dat"},
    {kSoundCredits, "sound\\legin.dat"},
    {kSoundClickNo, "sound\\clickneg.dat"},
    {kSoundClick2, "sound\\click.dat"},
    {kSoundClick3, "sound\\click.dat"},
    {kSoundGrow1, "sound\\grow1.dat"},
    {kSoundGrow2, "sound\\grow2.dat"},
    {kSoundGrow3, "sound\\grow3.dat"},
    {kSoundGrow4, "sound\\grow4.dat"},
    {kSoundAttach, "sound\\attach.dat"},
    {kSoundRockets, "sound\\rockets.dat"},
    {kSoundAttach2, "sound\\attach.dat"},
    {kSoundWarp, "sound\\warp2.dat"},
    {kSoundWarpRefused, "sound\\warpfail.dat"},
    {kSoundHyperOut, "sound\\hyperout.dat"},
    {kSoundExitBeep, "sound\\beep.dat"},
    {kSoundSmallCollide, "sound\\smallcollide.dat"},
    {kSoundPlasma, "sound\\plasma2.dat"},
    {kSoundDeath, "sound\\fire2.dat"},
    {kSoundDead, "sound\\dead.dat"},
    {kSoundInfo, "sound\\info.dat"},
    {kSoundInfo2, "sound\\info.dat"},
    {kSoundInfo3, "sound\\info.dat"},
    {kSoundHum, "sound\\bigone.dat"},
};
static_assert(std::size(kSoundSlotFiles) == kSoundSlotCount, "one file for every sound slot");

// Every entry stands at its own slot's index, so loading in order fills each slot.
constexpr bool SoundSlotFilesInOrder() {
    for (int i = 0; i < kSoundSlotCount; ++i)
        if (kSoundSlotFiles[i].slot != i) return false;
    return true;
}
static_assert(SoundSlotFilesInOrder(), "kSoundSlotFiles lists the slots in order");
