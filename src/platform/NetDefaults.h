#pragma once
#include <cstddef>
#include <cstdint>

// Online play's choices as the settings file, the command line and the
// network code all take them.
inline constexpr uint16_t kNetDefaultPort = 7311;  // UDP
// Passes each side's keys wait before they act: the range the game offers
// (the rollback session plays at most this) and the default.
inline constexpr int kMaxInputDelay = 4;
inline constexpr int kDefaultInputDelay = 2;
// The address a game joins as the player types it ("HOST" or "HOST:PORT"),
// with its terminating zero.
inline constexpr size_t kNetAddressBytes = 64;
