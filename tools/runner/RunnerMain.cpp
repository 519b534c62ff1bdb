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
    // A line at a time, so that whoever watches a run sees its events as
    // they come.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int status = RunRunner(options, stdout, stderr);
    std::fflush(stdout);
    return status;
}
