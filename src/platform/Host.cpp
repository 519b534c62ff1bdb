#include "platform/Host.h"

namespace {
Host* currentHost = nullptr;
}

Host* GetHost() { return currentHost; }
void SetHost(Host* host) { currentHost = host; }
