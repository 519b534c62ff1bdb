#include "platform/Resimulation.h"

namespace {
bool resimulating = false;
}

bool Resimulating() { return resimulating; }
void SetResimulating(bool on) { resimulating = on; }
