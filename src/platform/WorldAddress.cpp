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
