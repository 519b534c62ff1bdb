#include "net/NetAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#ifndef __EMSCRIPTEN__
#include <ifaddrs.h>
#include <net/if.h>
#endif

namespace {

constexpr uint32_t kHighestPort = 65535;
// An IPv6 zone ("%eth0") is an interface's name.
constexpr size_t kLongestZone = 15;

// ":PORT" (from its colon), or the end: the port, or false with why.
bool ReadPort(const char* from, uint16_t* port, const char** why) {
    if (*from == '\0') {
        *port = kNetDefaultPort;
        return true;
    }
    if (*from != ':') return (*why = "only :PORT may follow the ']'"), false;
    const char* digits = from + 1;
    if (*digits == '\0') return (*why = "no port after the colon"), false;
    uint32_t value = 0;
    for (const char* d = digits; *d != '\0'; ++d) {
        if (*d < '0' || *d > '9') return (*why = "the port is not a number"), false;
        value = value * 10 + static_cast<uint32_t>(*d - '0');
        if (value > kHighestPort) return (*why = "the port is above 65535"), false;
    }
    if (value == 0) return (*why = "the port is 0"), false;
    *port = static_cast<uint16_t>(value);
    return true;
}

bool ZoneChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.';
}

// `length` characters of an IPv6 address (a zone "%NAME" may follow it)
// into `host`, or false with why.
bool ReadIpv6(const char* text, size_t length, char* host, size_t hostSize, const char** why) {
    if (length == 0) return (*why = "no address between the brackets"), false;
    char plain[kNetHostNameBytes];
    if (length >= sizeof plain || length >= hostSize) return (*why = "the address is too long"), false;
    std::memcpy(plain, text, length);
    plain[length] = '\0';
    if (char* zone = std::strchr(plain, '%')) {
        const size_t zoneLength = std::strlen(zone + 1);
        if (zoneLength == 0 || zoneLength > kLongestZone)
            return (*why = "the zone after the '%' is no interface"), false;
        for (const char* z = zone + 1; *z != '\0'; ++z)
            if (!ZoneChar(*z)) return (*why = "the zone after the '%' is no interface"), false;
        *zone = '\0';
    }
    in6_addr bytes;
    if (inet_pton(AF_INET6, plain, &bytes) != 1) return (*why = "not an IPv6 address"), false;
    std::memcpy(host, text, length);
    host[length] = '\0';
    return true;
}

// A name or an IPv4 address of `length` characters into `host`.
bool ReadName(const char* text, size_t length, char* host, size_t hostSize, const char** why) {
    if (length == 0) return (*why = "no host before the port"), false;
    if (length >= hostSize || length > kNetLongestName + 1) return (*why = "the host name is too long"), false;
    bool numeric = true;  // digits and dots only: it must be an IPv4 address
    size_t label = 0;
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_';
        const bool digit = c >= '0' && c <= '9';
        if (c == '[' || c == ']') return (*why = "brackets go around a whole IPv6 address"), false;
        if (!letter && !digit && c != '.') return (*why = "the host name holds characters no name holds"), false;
        numeric = numeric && !letter;
        if (c != '.') {
            if (++label > kNetLongestLabel) return (*why = "a part of the name is longer than 63 characters"), false;
            continue;
        }
        // A dot may end the name, never start it or follow another.
        if (label == 0) return (*why = "the name has an empty part between dots"), false;
        label = 0;
    }
    if (length > kNetLongestName && text[length - 1] != '.') return (*why = "the host name is too long"), false;
    std::memcpy(host, text, length);
    host[length] = '\0';
    in_addr bytes;
    if (numeric && inet_pton(AF_INET, host, &bytes) != 1)
        return (*why = "not an IPv4 address (four numbers 0 to 255, between dots)"), false;
    return true;
}

#ifndef __EMSCRIPTEN__
// An address another machine could reach this one at.
bool Joinable(const sockaddr* at) {
    if (at->sa_family == AF_INET) {
        const uint32_t a = ntohl(reinterpret_cast<const sockaddr_in*>(at)->sin_addr.s_addr);
        const bool loopback = (a >> 24) == 127;
        const bool linkLocal = (a >> 16) == 0xA9FE;  // 169.254/16: no server gave one
        return a != 0 && !loopback && !linkLocal;
    }
    if (at->sa_family == AF_INET6) {
        const uint8_t first = reinterpret_cast<const sockaddr_in6*>(at)->sin6_addr.s6_addr[0];
        return (first & 0xE0) == 0x20;  // global unicast, 2000::/3
    }
    return false;
}
#endif

}  // namespace

bool ParseNetAddress(const char* text, char* host, size_t hostSize, uint16_t* port, const char** why) {
    if (text == nullptr || text[0] == '\0') return (*why = "no address given"), false;
    if (text[0] == '[') {
        const char* close = std::strchr(text, ']');
        if (close == nullptr) return (*why = "the IPv6 address has no ']'"), false;
        const size_t length = static_cast<size_t>(close - text - 1);
        return ReadIpv6(text + 1, length, host, hostSize, why) && ReadPort(close + 1, port, why);
    }
    const char* colon = std::strchr(text, ':');
    if (colon != nullptr && std::strchr(colon + 1, ':') != nullptr) {
        // Two colons or more: a bare IPv6 address, which takes no port.
        if (std::strchr(text, ']') != nullptr) return (*why = "the IPv6 address has no '['"), false;
        if (!ReadIpv6(text, std::strlen(text), host, hostSize, why))
            return (*why = "not an IPv6 address (with a port, write [ADDRESS]:PORT)"), false;
        *port = kNetDefaultPort;
        return true;
    }
    const size_t length = colon != nullptr ? static_cast<size_t>(colon - text) : std::strlen(text);
    uint16_t value = kNetDefaultPort;
    if (!ReadName(text, length, host, hostSize, why)) return false;
    if (colon != nullptr && !ReadPort(colon, &value, why)) return false;
    *port = value;
    return true;
}

int FormatNetAddress(const char* numericHost, uint16_t port, char* out, size_t size) {
    const bool ipv6 = std::strchr(numericHost, ':') != nullptr;
    const int n = std::snprintf(out, size, ipv6 ? "[%s]:%u" : "%s:%u", numericHost, static_cast<unsigned>(port));
    return n < 0 ? 0 : (static_cast<size_t>(n) < size ? n : static_cast<int>(size) - 1);
}

#ifdef __EMSCRIPTEN__

int ListLocalAddresses(char (*)[kNetAddressTextBytes], int) { return 0; }

#else

int ListInterfaceAddresses(const ifaddrs* list, char out[][kNetAddressTextBytes], int capacity) {
    int count = 0;
    // IPv4 first: what a joiner on the same network types.
    for (const int family : {AF_INET, AF_INET6}) {
        for (const ifaddrs* i = list; i != nullptr && count < capacity; i = i->ifa_next) {
            const bool up = (i->ifa_flags & IFF_UP) != 0 && (i->ifa_flags & IFF_RUNNING) != 0;
            if (!up || (i->ifa_flags & IFF_LOOPBACK) != 0 || i->ifa_addr == nullptr) continue;
            if (i->ifa_addr->sa_family != family || !Joinable(i->ifa_addr)) continue;
            char text[INET6_ADDRSTRLEN] = {};
            const void* bytes =
                family == AF_INET
                    ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr)
                    : static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(i->ifa_addr)->sin6_addr);
            if (inet_ntop(family, bytes, text, sizeof text) == nullptr) continue;
            char shown[kNetAddressTextBytes];
            std::snprintf(shown, sizeof shown, family == AF_INET6 ? "[%s]" : "%s", text);
            bool seen = false;
            for (int k = 0; k < count; ++k) seen = seen || std::strcmp(out[k], shown) == 0;
            if (!seen) std::memcpy(out[count++], shown, sizeof shown);
        }
    }
    return count;
}

int ListLocalAddresses(char out[][kNetAddressTextBytes], int capacity) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return 0;
    const int count = ListInterfaceAddresses(list, out, capacity);
    freeifaddrs(list);
    return count;
}

#endif
