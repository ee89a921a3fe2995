#!/bin/sh
# Purchase-conditions export at scale: the command line, then the main window offscreen,
# each timed with /usr/bin/time -v (wall and CPU time, peak memory); the window's run also
# prints the GUI thread's longest pause (the longest gap between ticks of a 1 ms timer).
# Usage: bench/bench_export.sh BUILD_DIR [N ...]   (default: 10000 100000 1000000 5000000)
# REMISES.DB of 13 fields (about two thirds exported), FOURNIS.DB of 51 fields with 2,000
# suppliers, 50 of them excluded. The tables and exports go under $TMPDIR (5,000,000
# conditions: about 640 MB of table and 630 MB of export), removed at the end.
# When the tests' pxlib tool is built (BUILD_DIR/tests/pxlib_table), the command line runs
# again on the same REMISES.DB protected by a password (given in Alias.ini).
set -eu
build=${1:?usage: bench_export.sh BUILD_DIR [N ...]}
shift
[ $# -gt 0 ] || set -- 10000 100000 1000000 5000000
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mesurer() {
    /usr/bin/time -v "$@" 2>"$work/time" >"$work/sortie"
    cat "$work/sortie"
    awk -F': ' '/Elapsed/ {e=$2} /User time/ {u=$2} /System time/ {s=$2} /Maximum resident/ {m=$2}
                END {printf "   wall %s, cpu %.2f s, peak RSS %.0f MB\n", e, u + s, m / 1024}' "$work/time"
}
for n in "$@"; do
    prog="$work/programme-$n"
    mkdir -p "$prog"
    "$build/bench/bench_export" --tables "$prog" "$n" 2000 50
    echo "== $n conditions: $(du -h "$prog/ZentraveAdministration/REMISES.DB" | cut -f1) of REMISES.DB"
    echo " halvenor-cli generer remise"
    mesurer "$build/src/halvenor-cli" --repertoire "$prog" generer remise
    echo "   lines written: $(grep -o '<Ligne ' "$prog/preparer/remise_achat.xml" | wc -l), file $(du -h "$prog/preparer/remise_achat.xml" | cut -f1)"
    if [ -x "$build/tests/pxlib_table" ]; then
        "$build/tests/pxlib_table" chiffrer "$prog/ZentraveAdministration/REMISES.DB" "Banc1"
        printf '[ZentraveAdministration]\r\nMotDePasse=Banc1\r\n' >"$prog/Alias.ini"
        echo " halvenor-cli generer remise, REMISES.DB protected"
        mesurer "$build/src/halvenor-cli" --repertoire "$prog" generer remise
        echo "   lines written: $(grep -o '<Ligne ' "$prog/preparer/remise_achat.xml" | wc -l)"
        rm "$prog/Alias.ini"
    fi
    if [ -x "$build/bench/bench_fenetre" ]; then
        echo " main window, btnGenererRA"
        QT_QPA_PLATFORM=offscreen mesurer "$build/bench/bench_fenetre" "$prog"
    fi
    rm -rf "$prog"
done
