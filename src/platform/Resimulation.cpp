#include "platform/Resimulation.h"

namespace {
bool resimulating = false;
bool unwatched = false;
}  // namespace

bool Resimulating() { return resimulating; }
void SetResimulating(bool on) { resimulating = on; }
bool Unwatched() { return unwatched; }
void SetUnwatched(bool on) { unwatched = on; }
bool DrawingLeftOut() { return resimulating || unwatched; }
