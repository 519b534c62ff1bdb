#include "net/RoomServer.h"

#include <cstdio>
#include <cstring>

#include "net/NetAddress.h"
#include "net/NetResolver.h"
#include "platform/WorldLink.h"

bool LookUpRoomServer(const char* worldServer, char* host, size_t hostSize, uint16_t* port, char* why, size_t whySize) {
    char name[kNetHostNameBytes];
    const char* reason = "no server: give --world-server or set [world] server in the settings";
    if (worldServer == nullptr || worldServer[0] == '\0' ||
        !WorldAddressHost(worldServer, name, sizeof name, port, &reason)) {
        std::snprintf(why, whySize, "%s", reason);
        return false;
    }
    // An IPv6 address goes in brackets before its port.
    char address[kNetHostNameBytes + 16];
    std::snprintf(address, sizeof address, std::strchr(name, ':') != nullptr ? "[%s]:%u" : "%s:%u", name,
                  static_cast<unsigned>(*port));
    NetResolver lookup;
    if (!lookup.Start(address) || lookup.WaitForAnswer() != NetResolver::State::Done) {
        std::snprintf(why, whySize, "%s", lookup.Failure());
        return false;
    }
    if (!ParseNetAddress(lookup.Numeric(), host, hostSize, port, &reason)) {
        std::snprintf(why, whySize, "%s", reason);
        return false;
    }
    return true;
}
