#pragma once
#include <cstdio>

// Opens a data file by the game's own name, such as "grafik\mousehi.dat",
// relative to the working directory: backslashes become slashes and the
// name keeps its exact case. Names longer than kMaxGameFileName characters
// are refused (null, errno ENAMETOOLONG), as is an empty or null name.
constexpr int kMaxGameFileName = 255;

std::FILE* OpenGameFile(const char* name, const char* mode);
// The mapping alone: writes the path into `out` (kMaxGameFileName + 1
// bytes); false when the name is too long or empty.
bool MapGameFileName(const char* name, char* out);
