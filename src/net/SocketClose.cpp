#include "net/SocketClose.h"

#include <cstdio>

const char* SocketCloseMeaning(int code) {
    switch (code) {
    case 1001:
        return "the server is going away";
    case 1002:
        return "the server saw a broken message";
    case 1003:
        return "the server takes no text messages";
    case 1007:
        return "the server could not read a message";
    case 1008:
        return "the server's policy refused the connection";
    case 1009:
        return "a message was too large for the server";
    case 1011:
        return "the server met an error";
    case 1012:
        return "the server is restarting";
    case 1013:
        return "the server is too busy, try again later";
    default:
        return nullptr;
    }
}

void DescribeSocketClose(bool opened, int code, char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    const char* what = opened ? "the connection to the world server closed" : "cannot reach the world server";
    if (const char* meaning = SocketCloseMeaning(code))
        std::snprintf(out, size, "%s (%d: %s)", what, code, meaning);
    else if (code == 1000 || code == 1005 || code == kSocketCloseNoFrame || code <= 0)
        std::snprintf(out, size, "%s", what);
    else
        std::snprintf(out, size, "%s (close code %d)", what, code);
}
