#pragma once
#include <cstddef>
#include <cstdint>

class Game;

// One function per file reader the game exposes to the outside world. Each
// takes arbitrary bytes, runs them through the game's own code and aborts
// (through FUZZ_CHECK) when the outcome breaks a rule the game promises; a
// memory fault is left to the sanitizers. The fuzz targets call them from
// LLVMFuzzerTestOneInput, and the regression test replays stored inputs
// through the same functions in the ordinary test build.

int FuzzBmp(const uint8_t* data, size_t size);        // ImageLoader::LoadFromMemory
int FuzzWave(const uint8_t* data, size_t size);       // ReadWaveMemory / ReadWaveStream
int FuzzLevel(const uint8_t* data, size_t size);      // Arena::Check, Match::LoadLevelBytes, first frames
int FuzzHighScore(const uint8_t* data, size_t size);  // HighScoreTable::LoadBytes, Sort, Frame, StoreBytes
int FuzzScript(const uint8_t* data, size_t size);     // the runner's script parser
int FuzzReplay(const uint8_t* data, size_t size);     // ParseReplay, InputTape playing and recording
int FuzzRollback(const uint8_t* data, size_t size);   // a rollback session over a NetPeer hearing the bytes
int FuzzPacket(const uint8_t* data, size_t size);     // ParseNetPacket, WriteNetPacket
int FuzzUdpLink(const uint8_t* data, size_t size);    // UdpLink::Take, the link's datagram reader
int FuzzRoom(const uint8_t* data, size_t size);       // ParseRoomMessage, WriteRoomMessage
#ifdef VC_FUZZ_SERVER
int FuzzRequest(const uint8_t* data, size_t size);  // the server's HTTP request and route reading
int FuzzRooms(const uint8_t* data, size_t size);    // the server's rooms, datagrams from eight addresses
#endif

struct FuzzTarget {
    const char* name;  // also the folder name of its corpus and stored findings
    int (*run)(const uint8_t* data, size_t size);
};
constexpr FuzzTarget kFuzzTargets[] = {
    {"bmp", FuzzBmp},         {"wave", FuzzWave},     {"level", FuzzLevel},       {"highscore", FuzzHighScore},
    {"script", FuzzScript},   {"replay", FuzzReplay}, {"rollback", FuzzRollback}, {"packet", FuzzPacket},
    {"link", FuzzUdpLink},    {"room", FuzzRoom},
#ifdef VC_FUZZ_SERVER
    {"request", FuzzRequest}, {"rooms", FuzzRooms},
#endif
};

// The whole game, started once per process on the headless host inside a
// private copy of the data set (the working directory becomes that copy).
// The data set is VC_FUZZ_DATA from the environment, else the one generated
// by the build. Aborts when the game cannot start: nothing could be tested.
Game& FuzzGame();

// A scratch folder of this process (created on first use, removed at exit
// unless it came from VC_FUZZ_WORK), as an absolute path ending in '/'.
const char* FuzzWorkDir();

// Reports a broken rule and aborts, so that the fuzzer keeps the input.
[[noreturn]] void FuzzFail(const char* file, int line, const char* what);

#define FUZZ_CHECK(cond)                                  \
    do {                                                  \
        if (!(cond)) FuzzFail(__FILE__, __LINE__, #cond); \
    } while (0)
