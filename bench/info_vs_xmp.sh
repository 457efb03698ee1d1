#!/usr/bin/env bash
# What `xmplay --info` costs against `xmp --norc --load-only` (Debian's xmp,
# used as a black box: it loads the module, works out its duration and exits)
# on every module of the bench set (make_bench_modules): CPU time, user +
# system, of the whole process, the least of RUNS runs of each, the two
# programs taking turns. The goal: xmplay at most xmp's time on every module.
#
# Usage: bench/info_vs_xmp.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  a Release build tree with xmplay and make_bench_modules built
#              (default: build)
#   RUNS       runs per program and module (default 10)
set -euo pipefail

build="${1:-build}"
runs="${2:-10}"
xmplay="$build/tools/xmplay/xmplay"
generator="$build/bench/make_bench_modules"
for program in "$xmplay" "$generator"; do
  if [[ ! -x "$program" ]]; then
    echo "missing $program: build the targets xmplay and make_bench_modules first" >&2
    exit 1
  fi
done
for program in xmp python3; do
  if ! command -v "$program" >/dev/null; then
    echo "$program is not installed" >&2
    exit 1
  fi
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$generator" "$work"

# The children's rusage in microseconds, which the shell's `time` rounds to
# milliseconds: the least CPU time of each program over the runs, in ms.
python3 - "$runs" "$xmplay" "$work"/*.xm <<'PYTHON'
import os, resource, subprocess, sys

runs, xmplay, modules = int(sys.argv[1]), sys.argv[2], sys.argv[3:]

def cpu_ms(argv):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return 1000.0 * ((after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime))

print(f"{'module':<10} {'bytes':>9} {'xmplay_ms':>10} {'xmp_ms':>8} {'ratio':>6}")
worst = 0.0
for path in modules:
    ours, theirs = float("inf"), float("inf")
    for _ in range(runs):
        ours = min(ours, cpu_ms([xmplay, "--info", path]))
        theirs = min(theirs, cpu_ms(["xmp", "--norc", "--load-only", path]))
    ratio = ours / theirs if theirs > 0 else float("inf")
    worst = max(worst, ratio)
    name = os.path.basename(path)
    print(f"{name:<10} {os.path.getsize(path):>9} {ours:>10.2f} {theirs:>8.2f} {ratio:>6.2f}")
print(f"ratio: xmplay's CPU time / xmp's; worst {worst:.2f} (wanted: 1.00 or less on every module)")
sys.exit(0 if worst <= 1.0 else 1)
PYTHON
