#!/usr/bin/env bash
# make lint: the format of every C++ file, clang-tidy's chosen checks
# (.clang-tidy) over the game, its tools and fuzz targets, and cppcheck.
# Needs a build folder configured with the tests (for compile_commands.json
# and the layers' include views); any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-lint}"
status=0

step() {
    local started=$SECONDS
    echo "---- lint: $1"
    shift
    if "$@"; then
        echo "---- ok ($((SECONDS - started)) s)"
    else
        echo "---- FAILED ($((SECONDS - started)) s)"
        status=1
    fi
}

mapfile -t sources < <(git ls-files '*.cpp' '*.h')

format() { clang-format --dry-run --Werror "${sources[@]}"; }

tidy() {
    # The game, the tools and the fuzz targets; the tests follow the format
    # alone (their macros make names of their own).
    local log
    log="$(mktemp)"
    run-clang-tidy -p "$build" -quiet -j "$(nproc)" '/(src|tools|fuzz)/' >"$log" 2>&1 || true
    if grep -qE '(warning|error): ' "$log"; then
        sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E '(warning|error): ' | sort -u
        rm -f "$log"
        return 1
    fi
    rm -f "$log"
}

cppcheck_run() {
    # (File filters are matched against paths relative to here.)
    cppcheck --project="$build/compile_commands.json" --enable=warning,performance,portability \
        --inline-suppr --error-exitcode=1 --quiet -j "$(nproc)" \
        --suppress='*:/usr/*' --suppress=missingIncludeSystem \
        --file-filter='src/*' --file-filter='tools/*' --file-filter='fuzz/*'
}

step "clang-format (${#sources[@]} files)" format
step "clang-tidy" tidy
step "cppcheck" cppcheck_run
exit $status
