#!/usr/bin/env bash
# tarnlet-cli add against zip at levels 1, 5 and 9 on about 100 MB of mixed files (C headers, Python
# sources and plain text, programs), copied once into bench/out/add-corpus. Reports the archive sizes and
# the processor time (user + system) of each from one run, as ratios (ours / zip's).
# Usage: bench/add-vs-zip.sh [BUILD_DIR] [LEVELS]   (defaults: build, "1 5 9")
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
levels=${2:-1 5 9}
out=bench/out
corpus=$out/add-corpus
mkdir -p "$out"
if [ ! -d "$corpus" ]; then
    mkdir -p "$corpus.tmp"
    take() { # copies the files listed on standard input until MB megabytes are taken
        local limit=$(($1 * 1000000)) total=0 f s
        while IFS= read -r f; do
            s=$(stat -c %s "$f"); [ $((total + s)) -gt "$limit" ] && break
            mkdir -p "$corpus.tmp/$(dirname "$f")"; cp "$f" "$corpus.tmp/$f"; total=$((total + s))
        done
        cat > /dev/null # the rest of the list, so the listing ends normally
    }
    find /usr/include -type f -name '*.h' | sort | take 40
    find /usr/lib/python3* /root/.pyenv/versions/*/lib/python3* -type f -name '*.py' 2>/dev/null | sort | take 25
    find /usr/share/doc /usr/share/common-licenses -type f ! -name '*.gz' 2>/dev/null | sort | take 10
    find /usr/bin -type f -size +1M -size -30M | sort | take 25
    mv "$corpus.tmp" "$corpus"
fi
cpu() { # seconds of processor time (user + system) the command takes
    local TIMEFORMAT='%U+%S' t
    t=$( { time "$@" > /dev/null 2>&1; } 2>&1 )
    echo "scale=2; ($t) / 1" | bc
}
cli=$(realpath "$build/bin/tarnlet-cli")
echo "corpus: $(du -sm "$corpus" | cut -f1) MB in $(find "$corpus" -type f | wc -l) files; load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-6s %12s %12s %8s %8s %8s %8s\n' level ours-bytes zip-bytes size ours-s zip-s time
for l in $levels; do
    rm -f "$out/ours.zip" "$out/zip.zip"
    ours_t=$(cd "$corpus" && cpu "$cli" add -"$l" -r "$(realpath ../ours.zip)" .)
    zip_t=$(cd "$corpus" && cpu zip -"$l" -q -r "$(realpath ..)/zip.zip" .)
    ours_b=$(stat -c %s "$out/ours.zip")
    zip_b=$(stat -c %s "$out/zip.zip")
    printf '%-6s %12d %12d %8.4f %8.2f %8.2f %8.2f\n' "-$l" "$ours_b" "$zip_b" \
        "$(echo "scale=4; $ours_b / $zip_b" | bc)" "$ours_t" "$zip_t" "$(echo "scale=2; $ours_t / $zip_t" | bc)"
done
rm -f "$out/ours.zip" "$out/zip.zip"
