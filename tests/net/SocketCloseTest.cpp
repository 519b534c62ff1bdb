// The words a link's stream to its room server ends in (the page's
// WebSocket): whether it ever opened, and what the server's close code
// means; codes without words of their own, hostile ones, and a buffer too
// small.

#include "net/SocketClose.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Said(bool opened, int code, size_t size = 200) {
    char out[200];
    std::memset(out, 'x', sizeof out);
    DescribeSocketClose(opened, code, out, size);
    return std::string(out, strnlen(out, size));
}

TEST(SocketClose, EachEndIsSaidInWordsWithWhatItsCodeMeans) {
    struct Case {
        bool opened;
        int code;
        const char* said;
    };
    const Case cases[] = {
        {false, kSocketCloseNoFrame, "cannot reach the world server"},
        {true, kSocketCloseNoFrame, "the connection to the world server closed"},
        {true, 1000, "the connection to the world server closed"},
        {true, 1005, "the connection to the world server closed"},
        {true, 0, "the connection to the world server closed"},
        {true, -7, "the connection to the world server closed"},
        {true, 1001, "the connection to the world server closed (1001: the server is going away)"},
        {true, 1003, "the connection to the world server closed (1003: the server takes no text messages)"},
        {true, 1008, "the connection to the world server closed (1008: the server's policy refused the connection)"},
        {true, 1009, "the connection to the world server closed (1009: a message was too large for the server)"},
        {true, 1011, "the connection to the world server closed (1011: the server met an error)"},
        {false, 1008, "cannot reach the world server (1008: the server's policy refused the connection)"},
        {false, 1013, "cannot reach the world server (1013: the server is too busy, try again later)"},
        {true, 4321, "the connection to the world server closed (close code 4321)"},
        {true, 2147483647, "the connection to the world server closed (close code 2147483647)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(Said(c.opened, c.code), c.said);
    }
    EXPECT_EQ(SocketCloseMeaning(1000), nullptr);
    EXPECT_EQ(SocketCloseMeaning(kSocketCloseNoFrame), nullptr);
    EXPECT_STREQ(SocketCloseMeaning(1009), "a message was too large for the server");
}

TEST(SocketClose, TheWordsAreCutToTheirBufferAndNothingIsWrittenWithoutOne) {
    EXPECT_EQ(Said(true, 1009, 11), "the connec");
    EXPECT_EQ(Said(false, 1003, 1), "");
    char untouched[4] = {'a', 'b', 'c', '\0'};
    DescribeSocketClose(true, 1003, untouched, 0);
    EXPECT_STREQ(untouched, "abc");
    DescribeSocketClose(true, 1003, nullptr, 16);  // nothing to write into: nothing happens
}

}  // namespace
