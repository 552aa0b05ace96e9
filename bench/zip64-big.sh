#!/usr/bin/env bash
# A member of 4.5 GiB (zip from a pipe, so zip64 records) with a marker near its end, listed, tested,
# extracted and searched by tarnlet-cli and checked against unzip (the search against unzip -p piped to
# grep). Reports processor time of each from one run. Needs about 10 GB of free space in bench/out/.
# Usage: bench/zip64-big.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=bench/out/zip64
cli=$build/bin/tarnlet-cli
mkdir -p "$out"
zip=$out/big.zip
if [ ! -f "$zip" ]; then
    { head -c 4831838208 /dev/zero; echo "needle past four gibibytes"; } | zip -q -1 "$zip" -
fi
cpu() { # seconds of processor time (user + system) the command takes
    local TIMEFORMAT='%U+%S' t
    t=$( { time "$@" > /dev/null 2>&1; } 2>&1 )
    echo "scale=2; ($t) / 1" | bc
}
"$cli" list "$zip"
"$cli" test "$zip"
echo "test:    ours $(cpu "$cli" test "$zip") s, unzip -tq $(cpu unzip -tq "$zip") s"
rm -rf "$out/ours" "$out/theirs"
echo "extract: ours $(cpu "$cli" extract -o "$zip" "$out/ours") s, unzip $(cpu unzip -qo "$zip" -d "$out/theirs") s"
cmp "$out/ours/-" "$out/theirs/-" && echo "extracted files are identical"
rm -rf "$out/ours" "$out/theirs"
if "$cli" search needle "$out" > /dev/null; then echo "search finds the marker past 4 GiB"; else echo "search MISSED the marker past 4 GiB"; fi
echo "search:  ours $(cpu "$cli" search -j 1 needle "$out") s, unzip -p | grep -c $(cpu bash -c "unzip -p '$zip' | grep -c needle") s"
