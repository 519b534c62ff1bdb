#!/usr/bin/env python3
"""Level balance: how long the autopilot takes over each level.

Runs the Release build's headless runner with --autopilot for a few seeds
on each difficulty (one player), reads its event log and prints markdown:
the seconds of game time (100 frames a second) from each level's intro to
the worm's exit jump, the whole game's time per difficulty, and how many
of a larger set of seeds finish all twenty levels.

    tools/level-balance.py                      # build/, seeds 1 2 3, 10 for completion
    tools/level-balance.py --build build-c --seeds 1 2 3 --completion 10 --jobs 2

The table in levels/README.md is this script's output.
"""
import argparse
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile

DIFFICULTIES = ["easy", "medium", "hard"]
LEVELS = 20
TIMER_LEVEL = 6  # shown number of the timer level
HIGH_SCORES = {"teasy.dat", "tmed.dat", "thard.dat"}

INTRO = re.compile(r"^frame (\d+): level (\d+) intro")
LEFT = re.compile(r"^frame (\d+): player 1 left level (\d+) ")
LOST = re.compile(r"^frame (\d+): player 1 lost a life")
FRAME = re.compile(r"^frame (\d+):")
OVER = re.compile(r"^frame (\d+): game over at level (\d+)(, all levels done)?")


def run(runner, data, seed, difficulty):
    """One autopilot game: per-level frames, lives lost, whether it finished, and its frames (to the
    game-over table, or to the last event of a run that stopped)."""
    # The game writes its high-score tables into its data folder: each run
    # plays in a folder of its own that links to the data set's files.
    with tempfile.TemporaryDirectory(prefix="level-balance-") as folder:
        for name in os.listdir(data):
            if name.lower() not in HIGH_SCORES:
                os.symlink(os.path.join(os.path.abspath(data), name), os.path.join(folder, name))
        out = subprocess.run(
            [runner, "--data", folder, "--autopilot", "--seed", str(seed), "--autopilot-difficulty", str(difficulty)],
            capture_output=True, text=True, check=False).stdout
    intro, frames, deaths = {}, {}, {}
    done, total = False, 0
    level = 0
    for line in out.splitlines():
        if m := FRAME.match(line):
            total = max(total, int(m.group(1)))
        if m := INTRO.match(line):
            level = int(m.group(2))
            intro.setdefault(level, int(m.group(1)))
        elif m := LEFT.match(line):
            n = int(m.group(2))
            frames[n] = int(m.group(1)) - intro.get(n, 0)
        elif LOST.match(line):
            deaths[level] = deaths.get(level, 0) + 1
        elif m := OVER.match(line):
            done = m.group(3) is not None
            total = int(m.group(1))
    return {"frames": frames, "deaths": deaths, "done": done, "total": total}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(here, "..", "build"),
                        help="build folder holding voidcrawl-headless and data/ (a Release build)")
    parser.add_argument("--seeds", type=int, nargs="+", default=[1, 2, 3], help="seeds of the timing table")
    parser.add_argument("--completion", type=int, default=10, help="seeds 1..N for the completion counts (0: skip)")
    parser.add_argument("--difficulties", type=int, nargs="+", default=[0, 1, 2])
    parser.add_argument("--jobs", type=int, default=1, help="runs at once")
    args = parser.parse_args()

    runner = os.path.join(args.build, "voidcrawl-headless")
    data = os.path.join(args.build, "data")
    if not os.access(runner, os.X_OK):
        sys.exit(f"level-balance: no runner at {runner}; build first (cmake --build {args.build})")

    seeds = sorted(set(args.seeds) | set(range(1, args.completion + 1)))
    jobs = [(s, d) for d in args.difficulties for s in seeds]
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        results = dict(zip(jobs, pool.map(lambda j: run(runner, data, *j), jobs)))

    def seconds(frames):
        return f"{frames / 100:.1f}" if frames is not None else "-"

    print(f"Seconds of game time from each level's intro to the exit jump, one player, "
          f"mean of seeds {', '.join(map(str, args.seeds))} (each seed in brackets); "
          f"† marks a life lost on the way.\n")
    header = "| Level | " + " | ".join(DIFFICULTIES[d] for d in args.difficulties) + " |"
    print(header)
    print("|---:|" + "---|" * len(args.difficulties))
    for level in range(1, LEVELS + 1):
        cells = []
        for d in args.difficulties:
            runs = [results[(s, d)] for s in args.seeds]
            each = [r["frames"].get(level) for r in runs]
            got = [f for f in each if f is not None]
            mean = sum(got) / len(got) if got else None
            died = any(r["deaths"].get(level) for r in runs)
            cells.append(f"{seconds(mean)} ({' '.join(seconds(f) for f in each)}){' †' if died else ''}")
        name = f"{level} (timer)" if level == TIMER_LEVEL else str(level)
        print(f"| {name} | " + " | ".join(cells) + " |")
    cells = []
    for d in args.difficulties:
        runs = [results[(s, d)] for s in args.seeds]
        totals = [r["total"] for r in runs]
        each = " ".join(f"{r['total'] / 100:.0f}{'' if r['done'] else '*'}" for r in runs)
        cells.append(f"{sum(totals) / len(totals) / 100:.0f} ({each})")
    print("| whole game | " + " | ".join(cells) + " |")
    if not all(results[(s, d)]["done"] for s in args.seeds for d in args.difficulties):
        print("\n\\* the game ended before the last level; its time is up to the game over.")
    if args.completion > 0:
        print(f"\nAll twenty levels finished, seeds 1 to {args.completion}: " + ", ".join(
            f"{DIFFICULTIES[d]} {sum(results[(s, d)]['done'] for s in range(1, args.completion + 1))}"
            for d in args.difficulties) + ".")
        failed = [f"{DIFFICULTIES[d]} seed {s}" for d in args.difficulties for s in range(1, args.completion + 1)
                  if not results[(s, d)]["done"]]
        if failed:
            print("Not finished: " + ", ".join(failed) + ".")


if __name__ == "__main__":
    main()
