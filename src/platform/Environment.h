#pragma once
#include <cstdlib>
#include <cstring>

// Whether the environment variable `name` is set to a value that turns
// its switch on: any value but empty or "0".
inline bool EnvironmentFlag(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}
