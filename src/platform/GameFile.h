#pragma once
#include <cstddef>
#include <cstdio>

#include "platform/ReadError.h"

// Opens a data file by the game's own name, such as "grafik\mousehi.dat",
// relative to the working directory: backslashes become slashes and the
// name keeps its exact case. Names longer than kMaxGameFileName characters
// are refused (null, errno ENAMETOOLONG), as is an empty or null name.
//
// Opened for reading, only a regular file is taken: a folder, a pipe, a
// socket or a device is refused (null) without being read or waited on.
// On failure `error` (ReadError.h) says what is wrong in a few words ("it is
// a folder, not a file", "there is no such file", ...): Missing when there
// is no file or no folder on the way to it, Refused for anything else.
constexpr int kMaxGameFileName = 255;

std::FILE* OpenGameFile(const char* name, const char* mode, ReadError* error = nullptr);
// The mapping alone: writes the path into `out` (kMaxGameFileName + 1
// bytes); false when the name is too long or empty.
bool MapGameFileName(const char* name, char* out);
// Opens `path` for reading ("rb") when it is a regular file, as above.
std::FILE* OpenRegularFile(const char* path, ReadError* error = nullptr);
// The same as a descriptor (no stdio buffer: nothing allocated); -1 on
// failure, with errno EISDIR or ENXIO for what is not a regular file.
// `facts`, when given, learns what stood at the path (its type, and the
// size of a regular file as it was opened), refused or not.
struct FileFacts {
    unsigned type = 0;  // st_mode & S_IFMT; 0 when nothing could be looked at
    long long size = -1;
};
int OpenRegularFd(const char* path, ReadError* error = nullptr, FileFacts* facts = nullptr);
// What stands where a file should be, for a file type (st_mode) that is
// not a regular file: "it is a folder, not a file", "it is a pipe, ...".
const char* NotAFile(unsigned mode);
// A data file's name as messages show it: with slashes, and printable (see
// PrintableText.h); cut short to fit `out`.
void ShownGameFileName(const char* name, char* out, size_t outSize);
