#pragma once
#include <cstddef>
#include <cstdint>

// Where a game meets the other player's through a room: the world table's
// server (`[world] server`, --world-server), on UDP at its HTTP port
// (docs/net-protocol.md, "Rooms").

// The room server of the world table's address `worldServer` (an http://
// or https:// URL): its host looked up now, as a numeric address, and its
// port (the URL's, else 80 or 443). For a program's start-up: it waits for
// the lookup (NetResolver's time bound). False, with why in `why`.
bool LookUpRoomServer(const char* worldServer, char* host, size_t hostSize, uint16_t* port, char* why, size_t whySize);
