// voidcrawl-headless: the game on the headless host, driven by a script.
#include <cstdio>
#include <string>

#include "Runner.h"

int main(int argc, char** argv) {
    RunnerOptions options;
    std::string error;
    if (!ParseRunnerArguments(argc, argv, &options, &error)) {
        std::fprintf(stderr, "voidcrawl-headless: %s\n%s\n", error.c_str(), RunnerUsage().c_str());
        return kExitBadInput;
    }
    if (options.help) {
        std::printf("%s\n", RunnerUsage().c_str());
        return kExitOk;
    }
    const int status = RunRunner(options, stdout, stderr);
    std::fflush(stdout);
    return status;
}
