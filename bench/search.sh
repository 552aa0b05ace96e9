#!/usr/bin/env bash
# Content search speed: tarnlet-cli search (its default workers and -j 1) against ugrep -z (its default
# threads and -J1) and zipgrep on a corpus of a few hundred deflated archives holding over 500 MB, and
# where one worker's time goes. One run each, warm page cache; the load average is printed with them, as
# other work on the machine changes the figures.
# usage: bench/search.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$build/bin/tarnlet-cli
out=bench/out/search-corpus
needle=tarnlet-needle-4711

if [ ! -f "$out/.done" ]; then
  rm -rf "$out" && mkdir -p "$out"
  python3 - "$out" "$needle" <<'PY'
import os, random, sys, zipfile
out, needle = sys.argv[1], sys.argv[2]
rng = random.Random(1)
words = [''.join(rng.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 9))) for _ in range(5000)]
def text(n):
    parts, size = [], 0
    while size < n:
        line = ' '.join(rng.choice(words) for _ in range(12)) + '\n'
        parts.append(line); size += len(line)
    return ''.join(parts).encode()
chunk = text(1 << 20)
total = 0
for a in range(300):
    folder = os.path.join(out, 'set %02d' % (a % 20))
    os.makedirs(folder, exist_ok=True)
    with zipfile.ZipFile(os.path.join(folder, 'arc%03d.zip' % a), 'w', zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        for e in range(8):
            n = rng.randint(100_000, 400_000)
            if e % 4 == 3:
                data = os.urandom(n // 4) * 4          # binary, compresses a little
            else:
                start = rng.randint(0, len(chunk) - n - 1)
                data = bytearray(chunk[start:start + n])
                if rng.random() < 0.05:
                    p = rng.randint(0, n - len(needle) - 1)
                    data[p:p + len(needle)] = needle.upper().encode() if rng.random() < 0.5 else needle.encode()
                data = bytes(data)
            name = 'dir%d/entry%d.%s' % (e % 3, e, 'bin' if e % 4 == 3 else 'txt')
            z.writestr(name, data)
            total += len(data)
print('corpus: %d archives, %.0f MB uncompressed' % (300, total / 1e6))
PY
  touch "$out/.done"
fi
du -sh "$out" | sed 's/^/compressed: /'
find "$out" -name '*.zip' -exec cat {} + > /dev/null # warm the page cache

time_of() { # prints seconds taken by the command; its output goes to $2
  local s e
  s=$(date +%s.%N)
  "${@:3}" > "$2" 2>/dev/null || true
  e=$(date +%s.%N)
  awk -v s="$s" -v e="$e" 'BEGIN { printf "%.3f", e - s }'
}
cpu_of() { # prints processor seconds (user + system) the command takes; its output is dropped
  local TIMEFORMAT='%U %S' t
  t=$( { time "$@" > /dev/null 2>&1; } 2>&1 ) || true
  awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.3f", a[1] + a[2] }'
}
tmp=$(mktemp -d)
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors"
t_ours=$(time_of ours "$tmp/ours" "$cli" search --list "$needle" "$out")
t_ours1=$(time_of ours1 "$tmp/ours1" "$cli" search --list -j 1 "$needle" "$out")
t_ug1=$(time_of ug1 "$tmp/ug1" ugrep -z -F -i -l -r -J1 "$needle" "$out")
t_ug=$(time_of ug "$tmp/ug" ugrep -z -F -i -l -r "$needle" "$out")
t_zg=$(time_of zg "$tmp/zg" bash -c 'find "$1" -name "*.zip" -print0 | xargs -0 -n1 zipgrep -i -l "$2"' _ "$out" "$needle")
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
printf 'matches: ours %d (-j 1: %d), ugrep %d\n' "$(wc -l < "$tmp/ours")" "$(wc -l < "$tmp/ours1")" "$(wc -l < "$tmp/ug1")"
cmp -s "$tmp/ours" "$tmp/ours1" || echo "MISMATCH: the default workers and -j 1 print different matches"
printf '%-36s %8.2f s\n' "tarnlet-cli search (default workers)" "$t_ours" "tarnlet-cli search -j 1" "$t_ours1" \
  "ugrep -z (default threads)" "$t_ug" "ugrep -z -J1" "$t_ug1" "zipgrep" "$t_zg"
awk -v o="$t_ours" -v o1="$t_ours1" -v a="$t_ug1" -v b="$t_ug" -v c="$t_zg" 'BEGIN {
  printf "ratios (our time / theirs): default vs ugrep %.2f, -j 1 vs ugrep -J1 %.2f, default vs zipgrep %.3f\n", o / b, o1 / a, o / c }'
# Where one worker's processor time goes: the walk with the archives' directories (a names-only search
# for a name that is nowhere), decoding with the CRC (tarnlet-cli test of every archive, less listing
# every archive, which costs the same processes and directories), and the rest, which is the scan.
each() { find "$out" -name '*.zip' -print0 | xargs -0 -n1 "$cli" "$@"; }
c_all=$(cpu_of "$cli" search --list -j 1 "$needle" "$out")
c_walk=$(cpu_of "$cli" search --list -j 1 --names-only "no-such-name-4711" "$out")
c_test=$(cpu_of each test)
c_list=$(cpu_of each list)
awk -v a="$c_all" -v w="$c_walk" -v t="$c_test" -v l="$c_list" 'BEGIN {
  d = t - l; s = a - w - d; if (s < 0) s = 0
  printf "processor time of -j 1: %.2f s: walk and directories %.2f s (%.0f%%), inflate and CRC %.2f s (%.0f%%), scan and the rest %.2f s (%.0f%%)\n",
    a, w, 100 * w / a, d, 100 * d / a, s, 100 * s / a }'
rm -rf "$tmp"
