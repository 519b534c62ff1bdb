// What the game takes as a world table server's address.
#include <strings.h>

#include <cstring>

#include "platform/WorldLink.h"

namespace {

bool Refuse(const char** why, const char* reason) {
    if (why != nullptr) *why = reason;
    return false;
}

}  // namespace

bool IsWorldAddress(const char* text, const char** why) {
    const size_t length = text == nullptr ? 0 : strnlen(text, kWorldAddressBytes);
    if (length == 0) return Refuse(why, "no address");
    if (length >= static_cast<size_t>(kWorldAddressBytes)) return Refuse(why, "too long");
    size_t host = 0;
    if (strncasecmp(text, "http://", 7) == 0)
        host = 7;
    else if (strncasecmp(text, "https://", 8) == 0)
        host = 8;
    else
        return Refuse(why, "it must start with http:// or https://");
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (c <= ' ' || c > '~' || std::strchr("\"\\<>", c) != nullptr)
            return Refuse(why, "only printable characters, without spaces, quotes or \\ < >");
    }
    if (host >= length || std::strchr("/?#:@", text[host]) != nullptr) return Refuse(why, "no server named after ://");
    return true;
}

bool WorldAddressHost(const char* text, char* host, size_t hostSize, uint16_t* port, const char** why) {
    if (!IsWorldAddress(text, why)) return false;
    const bool secure = strncasecmp(text, "https://", 8) == 0;
    const char* at = text + (secure ? 8 : 7);
    // The host ends at the port's colon or the path; an IPv6 address sits in brackets.
    const char* end = at;
    const char* name = at;
    size_t length = 0;
    if (*at == '[') {
        const char* close = std::strchr(at, ']');
        if (close == nullptr) return Refuse(why, "the IPv6 address has no ']'");
        name = at + 1;
        length = static_cast<size_t>(close - name);
        end = close + 1;
    } else {
        while (*end != '\0' && std::strchr(":/?#", *end) == nullptr) ++end;
        length = static_cast<size_t>(end - at);
    }
    if (length == 0) return Refuse(why, "no server named after ://");
    if (length + 1 > hostSize) return Refuse(why, "the server's name is too long");
    unsigned long number = secure ? kWorldHttpsPort : kWorldHttpPort;
    if (*end == ':') {
        const char* digit = end + 1;
        number = 0;
        while (*digit >= '0' && *digit <= '9' && number <= 65535)
            number = number * 10 + static_cast<unsigned>(*digit++ - '0');
        const bool ends = *digit == '\0' || std::strchr("/?#", *digit) != nullptr;
        if (digit == end + 1 || number == 0 || number > 65535 || !ends)
            return Refuse(why, "the port must be 1 to 65535");
    } else if (*end != '\0' && std::strchr("/?#", *end) == nullptr) {
        return Refuse(why, "no server named after ://");
    }
    std::memcpy(host, name, length);
    host[length] = '\0';
    *port = static_cast<uint16_t>(number);
    return true;
}
