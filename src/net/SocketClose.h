#pragma once
#include <cstddef>

// The end of a stream that carries a link's datagrams (the page's
// WebSocket to its room server), in the words the game says a link's
// failure in: "cannot reach the world server" when it never opened, "the
// connection to the world server closed" when it did, with what the close
// code (RFC 6455) means when the server sent one.

// 1006: the code the browser gives when no close frame came (the
// connection broke, or never opened).
constexpr int kSocketCloseNoFrame = 1006;

// What a close code means, in a few words; null for one with no words of
// its own (a normal close, or none sent).
const char* SocketCloseMeaning(int code);

// The words into `out` (`size` bytes, with the terminating zero, cut to
// fit). `opened`: the socket had opened before it closed.
void DescribeSocketClose(bool opened, int code, char* out, size_t size);
