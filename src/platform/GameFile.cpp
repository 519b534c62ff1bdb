#include "platform/GameFile.h"

#include <cerrno>

bool MapGameFileName(const char* name, char* out) {
    if (name == nullptr || name[0] == '\0') return false;
    int i = 0;
    for (; name[i] != '\0'; ++i) {
        if (i == kMaxGameFileName) return false;
        out[i] = name[i] == '\\' ? '/' : name[i];
    }
    out[i] = '\0';
    return true;
}

std::FILE* OpenGameFile(const char* name, const char* mode) {
    char path[kMaxGameFileName + 1];
    if (!MapGameFileName(name, path)) {
        errno = (name == nullptr || name[0] == '\0') ? ENOENT : ENAMETOOLONG;
        return nullptr;
    }
    return std::fopen(path, mode);
}
