#!/bin/sh
# Fails when a lower folder includes a higher one. From the top: the program
# (app), the show, the subsystems (render, audio, capture: one level, which
# may use each other), the heartbeat (core), the platform stand-ins.
# Usage: tools/check-layers.sh [SOURCE_DIR]
cd "${1:-$(dirname "$0")/..}" || exit 2
grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' \
    app show render audio capture core platform |
awk '
BEGIN {
    rank["platform"] = 0; rank["core"] = 1
    rank["render"] = 2; rank["audio"] = 2; rank["capture"] = 2
    rank["show"] = 3; rank["app"] = 4
    bad = 0
}
{
    split($0, at, ":")
    from = at[1]; sub(/\/.*/, "", from)
    path = $0; sub(/^[^<"]*[<"]/, "", path); sub(/[>"].*/, "", path)
    while (path ~ /^\.\.?\//) sub(/^\.\.?\//, "", path)
    if (path !~ /\//) next
    to = path; sub(/\/.*/, "", to)
    if ((to in rank) && rank[to] > rank[from]) {
        print at[1] ":" at[2] ": " from "/ includes " path ", which is above it"
        bad = 1
    }
}
END { exit bad }'
