#!/usr/bin/env bash
# Reads the coverage counters a `make coverage` test run left in BUILD_DIR and
# prints line and branch coverage of src/ and tools/, folder by folder, then
# writes the detailed HTML report to BUILD_DIR/coverage/index.html.
#
#   tools/coverage-report.sh BUILD_DIR
#
# Branches the compiler adds for exceptions the game never throws, and ones it
# can prove are never taken, are left out of the branch figures.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
out="$build/coverage"
rm -rf "$out"
mkdir -p "$out"

common=(--root "$root" --object-directory "$build" -j 2 --exclude-directories ".*/CMakeFiles/[0-9.]+/.*"
        --filter "$root/src/" --filter "$root/tools/"
        --exclude-throw-branches --exclude-unreachable-branches)
# One pass over the counters into gcovr's own format, then both reports from it.
gcovr "${common[@]}" --json "$out/coverage.json" "$build" >/dev/null
gcovr --root "$root" --add-tracefile "$out/coverage.json" \
    --json-summary "$out/summary.json" \
    --html-details "$out/index.html" --html-title "VoidCrawl coverage" >/dev/null

python3 - "$out/summary.json" <<'EOF'
import json, sys
from collections import OrderedDict

files = json.load(open(sys.argv[1]))["files"]
folders = {}
def add(key, f):
    t = folders.setdefault(key, [0, 0, 0, 0])
    t[0] += f["line_covered"]; t[1] += f["line_total"]
    t[2] += f["branch_covered"]; t[3] += f["branch_total"]
for f in files:
    parts = f["filename"].split("/")
    top = parts[0]
    folder = "/".join(parts[:2]) if len(parts) > 2 else top
    add(folder, f)
    add(top + "/ (all)", f)

def pct(a, b):
    return "%6.1f%%" % (100.0 * a / b) if b else "     -"
print("%-18s %8s %13s %8s %13s" % ("folder", "lines", "", "branches", ""))
for key in sorted(folders, key=lambda k: (k.split("/")[0], k.endswith("(all)"), k)):
    lc, lt, bc, bt = folders[key]
    print("%-18s %s %6d/%-6d %s %6d/%-6d" % (key, pct(lc, lt), lc, lt, pct(bc, bt), bc, bt))
EOF
echo "coverage: HTML report in $out/index.html"
