#!/bin/sh
# Purchase-conditions export through the command line, timed with /usr/bin/time -v.
# Usage: bench/bench_export.sh BUILD_DIR [N ...]   (default: 200000 1000000 conditions)
# 2,000 suppliers, 50 of them excluded.
set -eu
build=${1:?usage: bench_export.sh BUILD_DIR [N ...]}
shift
[ $# -gt 0 ] || set -- 200000 1000000
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for n in "$@"; do
    prog="$work/programme-$n"
    mkdir -p "$prog"
    "$build/bench/bench_export" --tables "$prog" "$n" 2000 50
    echo "== $n conditions: $(du -h "$prog/ZentraveAdministration/REMISES.DB" | cut -f1) of REMISES.DB"
    /usr/bin/time -v "$build/src/halvenor-cli" --repertoire "$prog" generer remise 2>"$work/time-$n" >/dev/null
    grep -E 'Elapsed|Maximum resident|User time|System time' "$work/time-$n"
    echo "   lines written: $(grep -o '<Ligne ' "$prog/preparer/remise_achat.xml" | wc -l), file $(du -h "$prog/preparer/remise_achat.xml" | cut -f1)"
done
