// The performance suite: runs every benchmark (several times each), prints
// one line per benchmark, then a table of the ratios the game is held to.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchWorld.h"

void RegisterStartupBenchmark();
void RegisterCopyBenchmarks();
void RegisterConvertBenchmarks();
void RegisterFrameBenchmarks();
void RegisterShowBenchmarks();

namespace {

// Keeps the fastest CPU time per iteration of each benchmark and prints it
// with the median, instead of Google Benchmark's line per repetition.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    bool ReportContext(const Context& context) override {
        const bool ok = ConsoleReporter::ReportContext(context);
        std::printf("%-44s %12s %12s %12s\n", "benchmark (CPU time per iteration)", "fastest", "median", "iterations");
        return ok;
    }
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<double> times;
        std::string name;
        int64_t iterations = 0;
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            name = run.run_name.function_name;
            if (run.error_occurred) {
                std::printf("%-44s error: %s\n", name.c_str(), run.error_message.c_str());
                return;
            }
            times.push_back(run.cpu_accumulated_time / static_cast<double>(run.iterations));
            iterations = run.iterations;
        }
        if (times.empty()) return;
        std::sort(times.begin(), times.end());
        BenchResults()[name] = times.front();
        std::printf("%-44s %12s %12s %12lld\n", name.c_str(), Format(times.front()).c_str(),
                    Format(times[times.size() / 2]).c_str(), static_cast<long long>(iterations));
        std::fflush(stdout);
    }
    static std::string Format(double seconds) {
        char text[32];
        if (seconds < 1e-6)
            std::snprintf(text, sizeof text, "%.1f ns", seconds * 1e9);
        else if (seconds < 1e-3)
            std::snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
        else
            std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
        return text;
    }
};

double Result(const std::string& name) {
    const auto it = BenchResults().find(name);
    return it == BenchResults().end() ? -1.0 : it->second;
}

int misses = 0;
int missing = 0;

// One row: ours against a reference. `speedUp` rows show how many times
// faster ours is (reference / ours) and pass at `target` or more; the
// others show ours / reference and pass at `target` or less (target 0: no
// goal, shown for information).
void Row(const char* label, const std::string& ours, const std::string& reference, bool speedUp, double target) {
    const double a = Result(ours);
    const double b = Result(reference);
    if (a <= 0.0 || b <= 0.0) {
        std::printf("%-46s %10s %10s %9s %9s  %s\n", label, "-", "-", "-", "", "NOT RUN");
        if (target > 0.0) ++missing;
        return;
    }
    const double ratio = speedUp ? b / a : a / b;
    char goal[16] = "";
    const char* verdict = "";
    if (target > 0.0) {
        std::snprintf(goal, sizeof goal, "%s%.1fx", speedUp ? ">=" : "<=", target);
        const bool pass = speedUp ? ratio >= target : ratio <= target;
        verdict = pass ? "PASS" : "MISS";
        if (!pass) ++misses;
    }
    std::printf("%-46s %10s %10s %8.2fx %9s  %s\n", label, SummaryReporter::Format(a).c_str(),
                SummaryReporter::Format(b).c_str(), ratio, goal, verdict);
}

void Summary() {
    std::printf("\n==== Summary (fastest CPU time of the repetitions; ratios from the same run) ====\n");
    std::printf("%-46s %10s %10s %9s %9s  %s\n", "", "ours", "reference", "ratio", "goal", "");
    std::printf("-- keyed copies, ours vs SDL_BlitSurface (times faster)\n");
    const char* pictures[5][2] = {{"title", "menu title 402x115"},
                                  {"segment", "worm segment 32x32"},
                                  {"glyph", "font glyph 32x31"},
                                  {"background", "background 640x480"},
                                  {"scattered", "scattered transparent 402x115"}};
    for (const auto& p : pictures) {
        const std::string base = std::string("copy/") + p[0];
        const bool scattered = std::string(p[0]) == "scattered";
        Row(p[1], base + "/keyed/ours", base + "/keyed/sdl", true, scattered ? 1.5 : 3.0);
    }
    std::printf("-- keyed copies, plain loops (the build without the vector path) vs SDL (times faster)\n");
    for (const auto& p : pictures) {
        const std::string base = std::string("copy/") + p[0];
        Row(p[1], base + "/keyed/plain", base + "/keyed/sdl", true, 0.0);
    }
    std::printf("-- unkeyed copies, ours vs memcpy of the same bytes (ours / memcpy)\n");
    for (const auto& p : pictures) {
        const std::string base = std::string("copy/") + p[0];
        Row(p[1], base + "/unkeyed/ours", base + "/memcpy", false, 1.2);
    }
    std::printf("-- unkeyed copies, ours vs SDL_BlitSurface (times faster)\n");
    for (const auto& p : pictures) {
        const std::string base = std::string("copy/") + p[0];
        Row(p[1], base + "/unkeyed/ours", base + "/unkeyed/sdl", true, 0.0);
    }
    std::printf("-- keyed copies, ours vs memcpy of the same bytes (ours / memcpy)\n");
    for (const auto& p : pictures) {
        const std::string base = std::string("copy/") + p[0];
        Row(p[1], base + "/keyed/ours", base + "/memcpy", false, 0.0);
    }
    std::printf(
        "-- stretched keyed copies vs memcpy of the bytes written (ours / memcpy;\n"
        "   SDL_BlitScaled refuses 8-bit surfaces: \"Blit combination not supported\")\n");
    Row("segment 32x32 -> 19x19", "copy/segment_stretched/keyed/ours", "copy/segment_stretched/memcpy", false, 0.0);
    Row("menu title x1.5 -> 603x172", "copy/title_stretched/keyed/ours", "copy/title_stretched/memcpy", false, 0.0);
    std::printf("-- clipped keyed copies, ours vs SDL_BlitSurface (times faster)\n");
    Row("segment at (-10,-10)", "copy/segment_clipped/keyed/ours", "copy/segment_clipped/keyed/sdl", true, 0.0);
    Row("menu title at (400,400)", "copy/title_clipped/keyed/ours", "copy/title_clipped/keyed/sdl", true, 0.0);
    std::printf("-- 8-to-32-bit conversion of a 640x480 frame\n");
    Row("ours vs SDL_BlitSurface 8->32 (times faster)", "convert/ours", "convert/sdl_blit", true, 1.0);
    Row("ours vs memcpy of 1,228,800 bytes", "convert/ours", "convert/memcpy", false, 0.0);
    std::printf("-- whole frames vs a memcpy of three screens, 921,600 bytes (frame / memcpy)\n");
    Row("menu frame", "frame/menu", "frame/memcpy_3_screens", false, 2.0);
    Row("menu frame with the credits panel", "frame/menu_credits", "frame/memcpy_3_screens", false, 2.0);
    Row("play frame: 2 worms of 60, 20 food, status", "frame/play", "frame/memcpy_3_screens", false, 2.0);
    Row("set-up frame", "frame/setup", "frame/memcpy_3_screens", false, 0.0);
    std::printf(
        "-- a shown frame after the game's: conversion and scaling into the window (vs memcpy of 1280x960x4)\n");
    Row("whole picture at 2x, 1280x960", "show/whole_2x_1280x960", "show/memcpy_1280x960x4", false, 0.0);
    Row("whole picture fitted to 1024x768", "show/whole_fit_1024x768", "show/memcpy_1280x960x4", false, 0.0);
    Row("idle menu's changes only, at 2x", "show/menu_changes_2x", "show/memcpy_1280x960x4", false, 0.0);
    Row("changes only vs the whole picture at 2x (faster)", "show/menu_changes_2x", "show/whole_2x_1280x960", true,
        0.0);
    std::printf("-- start-up\n");
    const double startup = Result("startup/headless");
    if (startup > 0.0) {
        const bool pass = startup < 0.010;
        if (!pass) ++misses;
        std::printf("%-46s %10s %10s %9s %9s  %s\n", "headless Game::Init", SummaryReporter::Format(startup).c_str(),
                    "", "", "<10 ms", pass ? "PASS" : "MISS");
    } else {
        std::printf("%-46s %10s %10s %9s %9s  %s\n", "headless Game::Init", "-", "", "", "<10 ms", "NOT RUN");
        ++missing;
    }
    std::printf("%d goal(s) missed, %d not run\n", misses, missing);
}

}  // namespace

int main(int argc, char** argv) {
    // Several short repetitions, of which the fastest counts: the machine
    // may be busy with other work. Flags given on the command line come
    // later and win.
    std::vector<char*> args{argv[0]};
    static char repetitions[] = "--benchmark_repetitions=5";
    static char minTime[] = "--benchmark_min_time=0.1";
    args.push_back(repetitions);
    args.push_back(minTime);
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

    RegisterStartupBenchmark();
    RegisterCopyBenchmarks();
    RegisterConvertBenchmarks();
    RegisterFrameBenchmarks();
    RegisterShowBenchmarks();

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    Summary();
    return 0;
}
