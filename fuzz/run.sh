#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) for SECONDS each, as many at
# once as there are cores (FUZZ_JOBS), from a build made with -DVC_FUZZ=ON:
#
#   fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
#
# Each target starts from its corpus kept in the source tree,
# fuzz/corpus/TARGET/, and from seeds written afresh from the build's data
# set (fuzz_seeds; the replay reader's are whole games, which fuzz_games
# played when the build was made). What a run finds is merged back into
# fuzz/corpus/TARGET with -merge=1, which keeps only the inputs that add
# coverage, so the next run builds on this one and the corpus stays small.
# An input that crashes a target or breaks one of its rules is left in
# BUILD_DIR/fuzz-findings/ and the script fails: store it under
# tests/fuzz_regressions/TARGET/ once the fault is mended, so `make test`
# replays it from then on.
#
# The summary gives, per target, the executions, executions a second, the
# coverage (libFuzzer's cov: edges, ft: features) and the corpus size.
set -uo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 BUILD_DIR SECONDS [TARGET...]" >&2
    exit 2
fi
build="$(readlink -f "$1")"
seconds="$2"
shift 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(bmp wave level highscore script replay rollback packet link room)
    # The server's request reading and rooms, when the server was built.
    if [ -x "$build/fuzz/fuzz_request" ]; then targets+=(request rooms); fi
fi
here="$(cd "$(dirname "$0")" && pwd)"

seeds="$build/fuzz-seeds"
rm -rf "$seeds"
"$build/fuzz/fuzz_seeds" "$build/data" "$seeds" || exit 1
# The replay reader starts from whole games, played when the build was
# (fuzz_games); libFuzzer refuses a folder that is not there.
for target in "${targets[@]}"; do mkdir -p "$seeds/$target"; done
if [ -d "$build/fuzz-games/replay" ]; then cp "$build"/fuzz-games/replay/*.vcr "$seeds/replay/"; fi

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

findings="$build/fuzz-findings"
logs="$build/fuzz-logs"
mkdir -p "$findings" "$logs"
# fuzz_one TARGET: one target's run and merge; its summary line goes to
# LOGS/TARGET.line, and it fails when the target found something.
fuzz_one() {
    local target="$1"
    exe="$build/fuzz/fuzz_$target"
    if [ ! -x "$exe" ]; then
        echo "fuzz: no target $exe" >&2
        echo "$target: no such target" >"$logs/$target.line"
        return 1
    fi
    corpus="$here/corpus/$target"
    work="$build/fuzz-work/$target"
    log="$logs/$target.log"
    rm -rf "$work"
    mkdir -p "$corpus" "$work/new" "$work/merged" "$work/scratch"
    # Inputs are kept short: every format's rules show in a few kilobytes,
    # and short inputs keep each execution quick. A replay's late game is
    # only reached through a whole game: its cap is above the largest seed
    # (the two-player game, about 18 KB).
    case "$target" in
        replay) max_len=32768 ;;
        bmp) max_len=8192 ;;
        wave) max_len=4096 ;;
        level) max_len=1600 ;;
        highscore) max_len=400 ;;
        script) max_len=2048 ;;
        packet) max_len=128 ;;
        link) max_len=1024 ;;
        *) max_len=4096 ;;
    esac
    args=(-max_len="$max_len" -timeout=20 -rss_limit_mb=2048)
    [ -f "$here/$target.dict" ] && args+=(-dict="$here/$target.dict")
    echo "fuzz: $target for ${seconds}s"
    VC_FUZZ_WORK="$work/scratch" VC_FUZZ_DATA="$build/data" "$exe" "${args[@]}" -max_total_time="$seconds" \
        -print_final_stats=1 -artifact_prefix="$findings/$target-" "$work/new" "$corpus" "$seeds/$target" \
        >"$log" 2>&1
    rc=$?
    execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log" | tail -1)
    last=$(grep -E '^#[0-9]+' "$log" | tail -1)
    rate=$(sed -n 's/.* exec\/s: \([0-9]*\).*/\1/p' <<<"$last")
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    if [ "$rc" -eq 0 ]; then
        # The corpus again, minimised: the earlier inputs and this run's.
        VC_FUZZ_WORK="$work/scratch" VC_FUZZ_DATA="$build/data" "$exe" "${args[@]}" -merge=1 \
            "$work/merged" "$corpus" "$work/new" >>"$log" 2>&1 &&
            rm -rf "$corpus" && mkdir -p "$corpus" && cp "$work/merged"/* "$corpus"/ 2>/dev/null
    fi
    units=$(find "$corpus" -type f | wc -l)
    line=$(printf '%-10s %10s execs %7s exec/s  cov %6s  ft %6s  corpus %5s' "$target" "${execs:-?}" \
        "${rate:-?}" "${cov:-?}" "${ft:-?}" "$units")
    if [ "$rc" -ne 0 ]; then
        line="$line  FAILED (exit $rc)"
        echo "---- $target: last lines of $log ----" >&2
        tail -n 60 "$log" >&2
        echo "---- the input is in $findings/ ----" >&2
    fi
    echo "$line" >"$logs/$target.line"
    rm -rf "$work"
    return "$(( rc != 0 ))"
}

jobs="${FUZZ_JOBS:-$(nproc)}"
status=0
running=0
for target in "${targets[@]}"; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n || status=1
        running=$((running - 1))
    fi
    rm -f "$logs/$target.line"
    fuzz_one "$target" &
    running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
    wait -n || status=1
    running=$((running - 1))
done
summary=()
for target in "${targets[@]}"; do summary+=("$(cat "$logs/$target.line" 2>/dev/null || echo "$target: no result")"); done

echo "fuzz summary (${seconds}s per target):"
printf '  %s\n' "${summary[@]}"
exit $status
