#pragma once
#include <cstdint>
#include <string>

#include "platform/Settings.h"

class Host;

// The host of the browser build: the page's canvas, the browser's keyboard
// and mouse, and Web Audio. The page (web/) hands the module its canvas and
// its sound output; the host talks to them directly.
//
// The frame loop keeps its blocking shape: at the end of each pass, and at
// each step of a palette fade, the host gives the browser control until the
// pass's 10 ms are up, so the page stays responsive while the game runs
// exactly as it does on the desktop.
//
// The picture is converted at most once per display refresh (the game may
// present up to 100 frames a second; the screen shows 60) into the canvas's
// 640 x 480 pixels, which the page scales with sharp pixels: only the pixels
// that changed since the last picture shown, and only the tiles around them
// are uploaded and drawn (gfx/ChangedTiles); an unchanged picture costs a
// comparison, and a frozen one not even that. Sound is pulled from
// the game's mixer by the page's audio node as it needs it; without Web
// Audio the mixer runs on the host's clock and the sound is dropped.
//
// `kept`: the settings as the player's settings file holds them, put in
// force at once; `path`: that file, where each change the options make is
// kept ("" none).
Host* CreateWebHost(const Settings& kept, const std::string& path);

// For the page's test pilot (WebMain.cpp): a key (a DIK code) pressed or let
// go, or the pointer moved to the picture's (x, y) with the left button down
// or up, as the browser's events bring them (taken at the next pass).
void WebTestKey(uint8_t code, bool down);
void WebTestPointer(int x, int y, bool down);
