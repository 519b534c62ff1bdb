#include "hosts/web/WebKeymap.h"

#include "platform/KeyNames.h"

uint8_t WebCodeToDik(const char* code) { return DikFromWebCode(code); }
