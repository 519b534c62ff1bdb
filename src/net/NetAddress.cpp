#include <cstring>

#include "net/NetLink.h"

bool ParseNetAddress(const char* text, char* host, size_t hostSize, uint16_t* port, const char** why) {
    if (text == nullptr || text[0] == '\0') return (*why = "no address given"), false;
    // An IPv6 address goes in brackets, so that its colons are not the port's.
    const bool bracketed = text[0] == '[';
    const char* name = bracketed ? text + 1 : text;
    const char* close = bracketed ? std::strchr(name, ']') : nullptr;
    if (bracketed && close == nullptr) return (*why = "no ']' after the IPv6 address"), false;
    const char* colon = bracketed ? (close[1] == ':' ? close + 1 : nullptr) : std::strchr(text, ':');
    if (bracketed && close[1] != '\0' && close[1] != ':') return (*why = "only a port may follow ']'"), false;
    if (!bracketed && colon != nullptr && std::strchr(colon + 1, ':') != nullptr)
        return (*why = "an IPv6 address goes in brackets: [ADDRESS]:PORT"), false;
    const size_t length = bracketed ? static_cast<size_t>(close - name)
                                    : (colon != nullptr ? static_cast<size_t>(colon - text) : std::strlen(text));
    if (length == 0) return (*why = "no host before the port"), false;
    if (length >= hostSize) return (*why = "the host name is too long"), false;
    for (size_t i = 0; i < length; ++i) {
        const char c = name[i];
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        const bool ok = bracketed ? hex || c == ':' || c == '.'
                                  : (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                        c == '-' || c == '.' || c == '_';
        if (!ok)
            return (*why = bracketed ? "the IPv6 address holds characters no address holds"
                                     : "the host name holds characters no name holds"),
                   false;
    }
    uint32_t value = kNetDefaultPort;
    if (colon != nullptr) {
        const char* digits = colon + 1;
        if (*digits == '\0') return (*why = "no port after the colon"), false;
        value = 0;
        for (const char* d = digits; *d != '\0'; ++d) {
            if (*d < '0' || *d > '9') return (*why = "the port is not a number"), false;
            value = value * 10 + static_cast<uint32_t>(*d - '0');
            if (value > 65535) return (*why = "the port is above 65535"), false;
        }
        if (value == 0) return (*why = "the port is 0"), false;
    }
    std::memcpy(host, name, length);
    host[length] = '\0';
    *port = static_cast<uint16_t>(value);
    return true;
}
