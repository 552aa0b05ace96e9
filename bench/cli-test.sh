#!/usr/bin/env bash
# tarnlet-cli test against unzip -tq on one archive of about 200 MB of text (C headers) and programs,
# made once by zip -6 in bench/out/, and on one of 70,000 small files. Reports processor time (user +
# system) of each from one run.
# Usage: bench/cli-test.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=bench/out
zip=$out/cli-test.zip
mkdir -p "$out"
if [ ! -f "$zip" ]; then
    list=$out/cli-test.list
    { find /usr/include -type f | sort | head -c 100000000 | head -n 20000
      find /usr/bin -type f -size -20M | sort; } > "$list.all"
    # About 120 MB of headers and 80 MB of programs.
    : > "$list"; total=0
    while IFS= read -r f; do
        s=$(stat -c %s "$f"); [ $((total + s)) -gt 200000000 ] && break
        echo "$f" >> "$list"; total=$((total + s))
    done < "$list.all"
    zip -q -6 "$zip" -@ < "$list"
fi
cpu() { # seconds of processor time (user + system) the command takes
    local TIMEFORMAT='%U+%S' t
    t=$( { time "$@" > /dev/null 2>&1; } 2>&1 )
    echo "scale=2; ($t) / 1" | bc
}
echo "archive: $(du -m "$zip" | cut -f1) MB, $(unzip -Z1 "$zip" | wc -l) entries, $(unzip -Zt "$zip" | awk '{print $3}') bytes uncompressed"
ours=$(cpu "$build/bin/tarnlet-cli" test "$zip")
theirs=$(cpu unzip -tq "$zip")
echo "tarnlet-cli test: ${ours} s"
echo "unzip -tq:        ${theirs} s"
echo "ratio (unzip / tarnlet-cli): $(echo "scale=2; $theirs / $ours" | bc)"

small=$out/cli-test-small.zip
if [ ! -f "$small" ]; then
    python3 - "$small" <<'PY'
import random, sys, zipfile
rng = random.Random(3)
words = [b"alpha", b"beta", b"gamma", b"delta", b"zeta", b"theta"]
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for i in range(70000):
        z.writestr("d%03d/f%05d.txt" % (i // 500, i), b" ".join(rng.choice(words) for _ in range(rng.randint(1, 60))))
PY
fi
echo "archive: $(du -m "$small" | cut -f1) MB, $(unzip -Z1 "$small" | wc -l) small entries"
ours=$(cpu "$build/bin/tarnlet-cli" test "$small")
theirs=$(cpu unzip -tq "$small")
echo "tarnlet-cli test: ${ours} s"
echo "unzip -tq:        ${theirs} s"
echo "ratio (tarnlet-cli / unzip): $(echo "scale=2; $ours / $theirs" | bc)"
