#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/NetDefaults.h"

struct ifaddrs;

// Addresses as the player types them and as the game shows them.

// A host's name or numeric address, with its terminating zero.
constexpr size_t kNetHostNameBytes = 256;
// The longest name the DNS carries, and the longest part between its dots.
constexpr size_t kNetLongestName = 253;
constexpr size_t kNetLongestLabel = 63;
// A numeric address with its port, as shown and as joined: "192.168.1.20:7311",
// "[2001:db8::5]:7311", "[fe80::1%eth0]:7311" (46 for the IPv6 text, 16 for
// its zone, the brackets, ":65535" and the zero).
constexpr size_t kNetAddressTextBytes = 72;

// "HOST", "HOST:PORT", "[IPV6]", "[IPV6]:PORT" or a bare IPv6 address
// ("2001:db8::1", which takes no port) into `host` (a name, an IPv4
// address or an IPv6 address without its brackets) and `port`
// (kNetDefaultPort when not given; 1-65535). False with the reason, in a
// few words after "cannot join: ".
bool ParseNetAddress(const char* text, char* host, size_t hostSize, uint16_t* port, const char** why);

// A numeric host and a port as one address to type: an IPv6 address in
// brackets. The characters written (the text cut to `size`).
int FormatNetAddress(const char* numericHost, uint16_t port, char* out, size_t size);

// The capacity of the waiting screen's list of this machine's addresses.
constexpr int kShownLocalAddresses = 4;

// The addresses another machine could join this one at: each interface
// that is up, its IPv4 addresses but the loopback and the link-local ones,
// then its global IPv6 addresses (2000::/3), in brackets ("[2001:db8::5]"),
// each once, at most `capacity`. Their count; 0 where the machine says
// nothing (and in the browser, which hosts no game).
int ListLocalAddresses(char out[][kNetAddressTextBytes], int capacity);
// The same from a list as getifaddrs gives it.
int ListInterfaceAddresses(const ifaddrs* list, char out[][kNetAddressTextBytes], int capacity);
