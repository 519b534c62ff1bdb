#include <cstring>

#include "net/NetLink.h"

bool ParseNetAddress(const char* text, char* host, size_t hostSize, uint16_t* port, const char** why) {
    if (text == nullptr || text[0] == '\0') return (*why = "no address given"), false;
    const char* colon = std::strchr(text, ':');
    if (colon != nullptr && std::strchr(colon + 1, ':') != nullptr)
        return (*why = "not a host name or IPv4 address (IPv6 is not supported)"), false;
    const size_t length = colon != nullptr ? static_cast<size_t>(colon - text) : std::strlen(text);
    if (length == 0) return (*why = "no host before the port"), false;
    if (length >= hostSize) return (*why = "the host name is too long"), false;
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                        c == '.' || c == '_';
        if (!ok) return (*why = "the host name holds characters no name holds"), false;
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
    std::memcpy(host, text, length);
    host[length] = '\0';
    *port = static_cast<uint16_t>(value);
    return true;
}
