#include <gtest/gtest.h>

#include <string>

#include "platform/WorldLink.h"

namespace {

// A world server's host and port, as a room's server is found: the port
// written, else the scheme's; an IPv6 address without its brackets; and
// what is refused, in words.
TEST(WorldAddress, TheHostAndPortOfAServersAddress) {
    const struct {
        const char* address;
        const char* expected;  // host|port, or the reason
    } cases[] = {
        {"http://scores.example.org", "scores.example.org|80"},
        {"HTTPS://scores.example.org/", "scores.example.org|443"},
        {"http://127.0.0.1:8080", "127.0.0.1|8080"},
        {"http://127.0.0.1:8080/api/v1", "127.0.0.1|8080"},
        {"https://[::1]:9443/x", "::1|9443"},
        {"http://[2001:db8::5]", "2001:db8::5|80"},
        {"http://h:65535?q", "h|65535"},
        {"http://h:0", "the port must be 1 to 65535"},
        {"http://h:65536", "the port must be 1 to 65535"},
        {"http://h:99999999999999999999", "the port must be 1 to 65535"},
        {"http://h:", "the port must be 1 to 65535"},
        {"http://h:80x", "the port must be 1 to 65535"},
        {"http://[::1", "the IPv6 address has no ']'"},
        {"http://[]:80", "no server named after ://"},
        {"http://[::1]x", "no server named after ://"},
        {"ftp://h", "it must start with http:// or https://"},
    };
    for (const auto& c : cases) {
        char host[64] = "untouched";
        uint16_t port = 1;
        const char* why = "";
        std::string got = why;
        if (WorldAddressHost(c.address, host, sizeof host, &port, &why))
            got = std::string(host) + "|" + std::to_string(port);
        else
            got = why;
        EXPECT_EQ(got, c.expected) << c.address;
    }
    char tiny[4];
    uint16_t port = 0;
    const char* why = "";
    EXPECT_FALSE(WorldAddressHost("http://abcd", tiny, sizeof tiny, &port, &why));
    EXPECT_STREQ(why, "the server's name is too long");
    EXPECT_TRUE(WorldAddressHost("http://abc", tiny, sizeof tiny, &port, &why));
    EXPECT_STREQ(tiny, "abc");
}

}  // namespace
