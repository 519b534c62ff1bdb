#pragma once
#include <sys/types.h>

// Whether SDL's accelerated renderer would draw on the CPU after all (Mesa's
// llvmpipe on a machine or display without a GPU), asked in a process of
// its own: the game's process then never loads an OpenGL driver it will not
// use, and never keeps the memory such a driver holds.
//
// The probe is this same program started again with VOIDCRAWL_GPU_PROBE=1;
// the entry point hands such a start to RunGpuProbe before anything else.

enum class GpuAnswer { Gpu, Cpu, Unknown };

// Whether the machine has a GPU for this process to use at all: a DRM
// device (`dev`/dri/card* or renderD*) or NVIDIA's (`dev`/nvidiactl).
// Without one OpenGL can only draw on the CPU, and the probe, which takes
// a few hundred milliseconds of start-up, has nothing to find out.
bool GpuDevicePresent(const char* dev = "/dev");

// Starts the probe (`program`: this program, or the game's for tests); -1
// when it cannot be started.
pid_t StartGpuProbe(const char* program = "/proc/self/exe");
// Waits up to `timeoutMs` for its answer (Unknown if none comes in time:
// the probe is stopped).
GpuAnswer FinishGpuProbe(pid_t probe, int timeoutMs);

// This process is a probe.
bool GpuProbeAsked();
// The probe's whole work; its exit status carries the answer.
int RunGpuProbe();

struct SDL_Renderer;
// True when `renderer` draws on the CPU: SDL's software renderer, or OpenGL
// through Mesa's software rasterizers. Its context must be current.
bool DrawnOnTheCpu(SDL_Renderer* renderer);
