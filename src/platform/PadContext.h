#pragma once

// Where the game is, for what a gamepad's sticks and buttons mean there:
// steering a worm, moving the pointer, or spelling a name.
enum class PadContext { Pointer, Play, Text };
