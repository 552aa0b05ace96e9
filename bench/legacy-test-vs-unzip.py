#!/usr/bin/env python3
"""`tarnlet-cli test` against `unzip -tq` on the imploded (PKZ110EI) and shrunk (PKZ110ES) DOS archives.

Processor time (user + system) of each command, best of seven runs; the machine is shared, and waiting
for a core is not work. Usage: bench/legacy-test-vs-unzip.py [path of tarnlet-cli]
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CLI = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "bin", "tarnlet-cli")
FIXTURES = os.environ.get("TARNLET_FIXTURES_DIR", os.path.join(HERE, "..", "..", "shared", "fixtures"))


def cpu_seconds(command):
    best = None
    for _ in range(7):
        proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(proc.pid, 0)
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit(f"failed: {' '.join(command)}")
        spent = usage.ru_utime + usage.ru_stime
        best = spent if best is None else min(best, spent)
    return best


for name, kind in (("PKZ110EI.ZIP", "imploded"), ("PKZ110ES.ZIP", "shrunk")):
    archive = os.path.join(FIXTURES, "pkzip", name)
    ours = cpu_seconds([CLI, "test", archive])
    unzip = cpu_seconds(["unzip", "-tq", archive])
    print(f"{name} ({kind}): tarnlet-cli test {ours * 1000:7.1f} ms, unzip -tq {unzip * 1000:7.1f} ms, "
          f"ratio unzip / ours {unzip / ours:5.2f}")
