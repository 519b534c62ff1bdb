#pragma once

// Where the game is, for what a gamepad's sticks and buttons mean there:
// steering a worm, moving the pointer, spelling a name, or waiting for the
// button the player is choosing for an action (the pad then presses nothing).
enum class PadContext { Pointer, Play, Text, Binding };
