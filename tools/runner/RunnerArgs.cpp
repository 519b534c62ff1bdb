#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "Runner.h"

namespace {

bool ParseNumber(const std::string& text, unsigned long long max, unsigned long long* out) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v > max) return false;
    *out = v;
    return true;
}

}  // namespace

std::string RunnerUsage() {
    return "usage: voidcrawl-headless [--data DIR] [--seed N] [--frames N] [--script FILE]";
}

bool ParseRunnerArguments(int argc, const char* const* argv, RunnerOptions* options, std::string* error) {
    *options = RunnerOptions{};
    bool seen[4] = {false, false, false, false};
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        // Both "--opt VALUE" and "--opt=VALUE".
        size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        int which = arg == "--data" ? 0 : arg == "--seed" ? 1 : arg == "--frames" ? 2 : arg == "--script" ? 3 : -1;
        if (which < 0) {
            *error = "unknown argument '" + std::string(argv[i]) + "'";
            return false;
        }
        if (seen[which]) {
            *error = arg + " given twice";
            return false;
        }
        seen[which] = true;
        if (!hasValue) {
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        unsigned long long number = 0;
        switch (which) {
            case 0:
                if (value.empty()) {
                    *error = "--data needs a directory";
                    return false;
                }
                options->dataDir = value;
                break;
            case 1:
                if (!ParseNumber(value, 0xFFFFFFFFull, &number)) {
                    *error = "bad seed '" + value + "' (0 to 4294967295)";
                    return false;
                }
                options->seed = static_cast<uint32_t>(number);
                break;
            case 2:
                if (!ParseNumber(value, 1000000000000ull, &number) || number == 0) {
                    *error = "bad frame count '" + value + "' (a positive number)";
                    return false;
                }
                options->frames = static_cast<int64_t>(number);
                break;
            case 3:
                if (value.empty()) {
                    *error = "--script needs a file name";
                    return false;
                }
                options->scriptPath = value;
                break;
        }
    }
    return true;
}

std::string DefaultDataDir() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "data";
    return (exe.parent_path() / "data").string();
}
