#pragma once

#include <string>

#include "platform/Settings.h"

class Host;

// The host of the real game: one SDL window (full-screen desktop by default;
// otherwise resizable, its size kept in the settings once dragged), the
// 640 x 480 picture scaled as the settings' scale says (see gfx/PictureFit.h),
// the default sound device, and the keyboard and mouse of that window.
//
// Without a sound device the game plays silent (one line on stderr, none of
// the sound libraries' own) and the mixer runs on the host's own clock;
// the settings' mute plays silent the same way without opening a device at all.
// With SDL_VIDEODRIVER unset only drivers that show a picture are tried
// (never offscreen or dummy); set, it names the one driver to use.
//
// The host starts with `inForce`, the settings of this run (the entry
// point's SettingsForRun, VOIDCRAWL_WINDOWED taken into them), and keeps each
// change made in play in the file at `settingsPath` ("": not kept); the
// player's gamepad mappings are read from beside that file.
//
// Environment, for tests:
//   VOIDCRAWL_NO_MESSAGEBOX=1 report failures on stderr only
//   VOIDCRAWL_HOST_STATS=1    print presenting statistics and the passes' pace on
//                             stderr at exit
Host* CreateSdlHost(const Settings& inForce = Settings{}, const std::string& settingsPath = "");
