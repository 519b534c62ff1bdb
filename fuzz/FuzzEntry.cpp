// The libFuzzer entry of one target; VC_FUZZ_FUNCTION names its function.

#include <cstdio>
#include <cstdlib>

#include "FuzzTargets.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The game reports every refused file on stderr, thousands of times a
    // second here: send its stream elsewhere. Sanitizer and libFuzzer
    // reports go to the descriptor itself and still show.
    if (!std::getenv("VC_FUZZ_VERBOSE")) {
        if (std::FILE* quiet = std::fopen("/dev/null", "w")) stderr = quiet;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return VC_FUZZ_FUNCTION(data, size); }
