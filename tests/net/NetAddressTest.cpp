// Addresses as the player types them (names, IPv4, IPv6 with and without
// brackets and ports) and this machine's addresses as the host's waiting
// screen lists them.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>
#include <string>

#include "net/NetAddress.h"

namespace {

TEST(NetAddress, NamesIpv4AndIpv6AreReadAndMalformedOnesRefusedWithTheReason) {
    struct Case {
        const char* text;
        const char* host;  // nullptr: refused, with `why`
        uint16_t port;
        const char* why;
    };
    const std::string longLabel(kNetLongestLabel + 1, 'a');
    std::string longName;
    while (longName.size() < kNetLongestName) longName += "abcdefgh.";
    const Case cases[] = {
        {"localhost", "localhost", kNetDefaultPort, nullptr},
        {"192.168.1.20:9000", "192.168.1.20", 9000, nullptr},
        {"game-box.example.org:65535", "game-box.example.org", 65535, nullptr},
        {"host.example.org.", "host.example.org.", kNetDefaultPort, nullptr},
        {"[2001:db8::1]:4377", "2001:db8::1", 4377, nullptr},
        {"[::1]", "::1", kNetDefaultPort, nullptr},
        {"2001:db8::1", "2001:db8::1", kNetDefaultPort, nullptr},
        {"::1", "::1", kNetDefaultPort, nullptr},
        {"[fe80::1%eth0]:7400", "fe80::1%eth0", 7400, nullptr},
        // Nothing, or no port where one was begun.
        {"", nullptr, 0, "no address given"},
        {":7311", nullptr, 0, "no host before the port"},
        {"host:", nullptr, 0, "no port after the colon"},
        {"[::1]:", nullptr, 0, "no port after the colon"},
        {"host:0", nullptr, 0, "the port is 0"},
        {"host:65536", nullptr, 0, "the port is above 65535"},
        {"[::1]:99999", nullptr, 0, "the port is above 65535"},
        {"host:12ab", nullptr, 0, "the port is not a number"},
        // Brackets.
        {"[2001:db8::1", nullptr, 0, "the IPv6 address has no ']'"},
        {"2001:db8::1]:7311", nullptr, 0, "the IPv6 address has no '['"},
        {"[]:7311", nullptr, 0, "no address between the brackets"},
        {"[::1]7311", nullptr, 0, "only :PORT may follow the ']'"},
        {"[example.org]:7311", nullptr, 0, "not an IPv6 address"},
        {"host]:7311", nullptr, 0, "brackets go around a whole IPv6 address"},
        {"[fe80::1%]", nullptr, 0, "the zone after the '%' is no interface"},
        {"[fe80::1%e;x]", nullptr, 0, "the zone after the '%' is no interface"},
        // A port after a bare IPv6 address is part of the address.
        {"2001:db8::1::7311", nullptr, 0, "not an IPv6 address (with a port, write [ADDRESS]:PORT)"},
        // Names and IPv4 addresses that cannot be.
        {"10.0.0.256", nullptr, 0, "not an IPv4 address (four numbers 0 to 255, between dots)"},
        {"10.0.1", nullptr, 0, "not an IPv4 address (four numbers 0 to 255, between dots)"},
        {"a..b", nullptr, 0, "the name has an empty part between dots"},
        {"a b", nullptr, 0, "the host name holds characters no name holds"},
        {longLabel.c_str(), nullptr, 0, "a part of the name is longer than 63 characters"},
        {longName.c_str(), nullptr, 0, "the host name is too long"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        char host[kNetHostNameBytes] = {};
        uint16_t port = 0;
        const char* why = nullptr;
        const bool ok = ParseNetAddress(c.text, host, sizeof host, &port, &why);
        EXPECT_EQ(ok, c.host != nullptr) << (why != nullptr ? why : "");
        if (ok) {
            EXPECT_EQ((std::pair{std::string(host), port}), (std::pair{std::string(c.host), c.port}));
        } else {
            EXPECT_STREQ(why, c.why);
        }
    }
    // A host buffer too small for the address refuses it rather than cut it.
    char small[8];
    uint16_t port = 0;
    const char* why = nullptr;
    EXPECT_FALSE(ParseNetAddress("[2001:db8::1]", small, sizeof small, &port, &why));
    EXPECT_FALSE(ParseNetAddress("example.org", small, sizeof small, &port, &why));
}

TEST(NetAddress, ANumericHostAndPortAreWrittenAsTheyAreTyped) {
    char out[kNetAddressTextBytes];
    FormatNetAddress("192.168.1.20", 4377, out, sizeof out);
    EXPECT_STREQ(out, "192.168.1.20:4377");
    FormatNetAddress("2001:db8::5", 4377, out, sizeof out);
    EXPECT_STREQ(out, "[2001:db8::5]:4377");
    // The longest IPv6 text with a zone and the highest port fits.
    const char* longest = "ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255%abcdefghijklmno";
    EXPECT_EQ(FormatNetAddress(longest, 65535, out, sizeof out), static_cast<int>(std::strlen(longest) + 8));
    char host[kNetHostNameBytes];
    uint16_t port = 0;
    const char* why = nullptr;
    ASSERT_TRUE(ParseNetAddress(out, host, sizeof host, &port, &why)) << why;
    EXPECT_EQ((std::pair{std::string(host), port}), (std::pair{std::string(longest), uint16_t{65535}}));
}

// An interface list as getifaddrs gives it, made by hand.
class Interfaces {
public:
    void Add4(const char* text, unsigned flags = IFF_UP | IFF_RUNNING) {
        Entry& e = entries_[count_++];
        auto* in = reinterpret_cast<sockaddr_in*>(&e.address);
        in->sin_family = AF_INET;
        inet_pton(AF_INET, text, &in->sin_addr);
        Link(e, flags);
    }
    void Add6(const char* text, unsigned flags = IFF_UP | IFF_RUNNING) {
        Entry& e = entries_[count_++];
        auto* in = reinterpret_cast<sockaddr_in6*>(&e.address);
        in->sin6_family = AF_INET6;
        inet_pton(AF_INET6, text, &in->sin6_addr);
        Link(e, flags);
    }
    void AddWithoutAddress() {
        Entry& e = entries_[count_++];
        Link(e, IFF_UP | IFF_RUNNING);
        e.node.ifa_addr = nullptr;
    }
    const ifaddrs* List() const { return count_ > 0 ? &entries_[0].node : nullptr; }

private:
    struct Entry {
        ifaddrs node{};
        sockaddr_storage address{};
    };
    void Link(Entry& e, unsigned flags) {
        e.node.ifa_addr = reinterpret_cast<sockaddr*>(&e.address);
        e.node.ifa_flags = flags;
        if (count_ > 1) entries_[count_ - 2].node.ifa_next = &e.node;
    }
    Entry entries_[16];
    int count_ = 0;
};

TEST(NetAddress, TheAddressesListedAreTheJoinableOnesIpv4FirstIpv6InBracketsEachOnce) {
    Interfaces list;
    list.Add6("2001:db8::5");
    list.Add4("127.0.0.1", IFF_UP | IFF_RUNNING | IFF_LOOPBACK);
    list.Add6("::1", IFF_UP | IFF_RUNNING | IFF_LOOPBACK);
    list.Add4("192.168.1.20");
    list.AddWithoutAddress();
    list.Add4("169.254.3.4");            // no server gave it
    list.Add4("172.17.0.1", IFF_UP);     // up, with nothing behind it
    list.Add4("10.1.1.1", IFF_RUNNING);  // down
    list.Add6("fe80::1");                // link-local
    list.Add6("fd00::1");                // unique local
    list.Add4("127.0.1.1");              // a loopback on another interface
    list.Add4("192.168.1.20");           // the same again
    list.Add4("100.64.0.7");
    char out[kShownLocalAddresses][kNetAddressTextBytes];
    ASSERT_EQ(ListInterfaceAddresses(list.List(), out, kShownLocalAddresses), 3);
    EXPECT_STREQ(out[0], "192.168.1.20");
    EXPECT_STREQ(out[1], "100.64.0.7");
    EXPECT_STREQ(out[2], "[2001:db8::5]");
    // At most as many as there is room for, the IPv4 ones first.
    EXPECT_EQ(ListInterfaceAddresses(list.List(), out, 2), 2);
    EXPECT_STREQ(out[1], "100.64.0.7");
    EXPECT_EQ(ListInterfaceAddresses(nullptr, out, kShownLocalAddresses), 0);
}

// This machine's own list holds no loopback, whatever interfaces it has.
TEST(NetAddress, ThisMachinesListHoldsNoLoopback) {
    char out[kShownLocalAddresses][kNetAddressTextBytes];
    const int count = ListLocalAddresses(out, kShownLocalAddresses);
    ASSERT_GE(count, 0);
    ASSERT_LE(count, kShownLocalAddresses);
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(out[i]);
        EXPECT_NE(std::strncmp(out[i], "127.", 4), 0);
        EXPECT_STRNE(out[i], "[::1]");
        char host[kNetHostNameBytes];
        uint16_t port = 0;
        const char* why = nullptr;
        EXPECT_TRUE(ParseNetAddress(out[i], host, sizeof host, &port, &why)) << why;
    }
}

}  // namespace
