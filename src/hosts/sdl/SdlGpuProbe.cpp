#include "hosts/sdl/SdlGpuProbe.h"

#include <SDL.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kProbeVariable = "VOIDCRAWL_GPU_PROBE";
constexpr int kAnswerGpu = 10;
constexpr int kAnswerCpu = 11;
constexpr int kAnswerNone = 12;

}  // namespace

bool DrawnOnTheCpu(SDL_Renderer* renderer) {
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) != 0) return true;
    if ((info.flags & SDL_RENDERER_ACCELERATED) == 0 || SDL_strcasecmp(info.name, "software") == 0) return true;
    if (SDL_strncasecmp(info.name, "opengl", 6) != 0) return false;
    // The renderer's context is current: ask OpenGL who draws.
    using GetString = const unsigned char* (*)(unsigned int);
    auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    if (getString == nullptr) return false;
    const unsigned char* name = getString(0x1F01);  // GL_RENDERER
    if (name == nullptr) return false;
    const char* text = reinterpret_cast<const char*>(name);
    for (const char* software : {"llvmpipe", "softpipe", "Software Rasterizer", "swrast", "SwiftShader"}) {
        if (std::strstr(text, software) != nullptr) return true;
    }
    return false;
}

bool GpuDevicePresent(const char* dev) {
    const std::string root = dev;
    if (access((root + "/nvidiactl").c_str(), F_OK) == 0) return true;
    DIR* dri = opendir((root + "/dri").c_str());
    if (dri == nullptr) return false;
    bool found = false;
    while (const dirent* entry = readdir(dri)) {
        found = found || std::strncmp(entry->d_name, "card", 4) == 0 || std::strncmp(entry->d_name, "renderD", 7) == 0;
    }
    closedir(dri);
    return found;
}

pid_t StartGpuProbe(const char* program) {
    std::vector<char*> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) environment.push_back(*entry);
    char probe[] = "VOIDCRAWL_GPU_PROBE=1";
    environment.push_back(probe);
    environment.push_back(nullptr);
    std::vector<char> name(program, program + std::strlen(program) + 1);
    char* arguments[] = {name.data(), nullptr};
    // The probe says nothing: whatever a driver prints goes nowhere.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, name.data(), &actions, nullptr, arguments, environment.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

GpuAnswer FinishGpuProbe(pid_t probe, int timeoutMs) {
    if (probe <= 0) return GpuAnswer::Unknown;
    int status = 0;
    for (int waited = 0;; waited += 2) {
        const pid_t done = waitpid(probe, &status, WNOHANG);
        if (done == probe) break;
        if (done < 0) return GpuAnswer::Unknown;
        if (waited >= timeoutMs) {
            kill(probe, SIGKILL);
            waitpid(probe, &status, 0);
            return GpuAnswer::Unknown;
        }
        SDL_Delay(2);
    }
    if (!WIFEXITED(status)) return GpuAnswer::Unknown;
    switch (WEXITSTATUS(status)) {
    case kAnswerGpu:
        return GpuAnswer::Gpu;
    case kAnswerCpu:
        return GpuAnswer::Cpu;
    default:
        return GpuAnswer::Unknown;
    }
}

bool GpuProbeAsked() {
    const char* value = std::getenv(kProbeVariable);
    return value != nullptr && std::strcmp(value, "1") == 0;
}

int RunGpuProbe() {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return kAnswerNone;
    if (SDL_Window* window = SDL_CreateWindow("", 0, 0, 16, 16, SDL_WINDOW_HIDDEN)) {
        if (SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, 0)) {
            // The game waits for the answer: it goes at once, and the
            // display server frees the window and the driver's context
            // along with the connection.
            std::_Exit(DrawnOnTheCpu(renderer) ? kAnswerCpu : kAnswerGpu);
        }
        SDL_DestroyWindow(window);
    }
    SDL_Quit();
    return kAnswerNone;
}
