#!/usr/bin/env bash
# How long a jump takes in live play, as a listener meets it: xmplay plays
# a long song on a pseudo-terminal (SDL's disk audio driver into /dev/null,
# which takes the sound at the pace of a real device), and from order 0 the
# script types at once as many Right presses as there are order positions
# to 25, 50, 75 and 99 % of the song. The presses add up into one jump, the
# player's exact seek from the song's start (no copy kept from an earlier
# seek: the worst case); the figure is the wall time from the keys written
# to the status line showing the order jumped to, for a fresh process each
# time, least and median of RUNS runs.
#
# Usage: bench/xmplay_seek_latency.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  a Release build tree with xmplay (built with a live sound
#              device) and make_bench_modules built (default: build)
#   RUNS       runs per song and point (default 5)
set -euo pipefail

build="${1:-build}"
runs="${2:-5}"
xmplay="$build/tools/xmplay/xmplay"
generator="$build/bench/make_bench_modules"
for program in "$xmplay" "$generator"; do
  if [[ ! -x "$program" ]]; then
    echo "missing $program: build the targets xmplay and make_bench_modules first" >&2
    exit 1
  fi
done
command -v python3 >/dev/null || { echo "python3 is not installed" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$generator" "$work"

# The longest songs of the set.
python3 - "$runs" "$xmplay" "$work/large.xm" "$work/song17.xm" "$work/song06.xm" "$work/song20.xm" <<'PYTHON'
import os, pty, re, select, signal, statistics, subprocess, sys, time

runs, xmplay, songs = int(sys.argv[1]), sys.argv[2], sys.argv[3:]

def order_at(song, percent):
    """The order position heard at `percent` of the song, from its snapshots."""
    table = subprocess.run([xmplay, "--snapshots", "-", song], capture_output=True, text=True, check=True).stdout
    orders = [int(line.split()[1]) for line in table.splitlines()]
    return orders[min(len(orders) - 1, len(orders) * percent // 100)]

def read_until(fd, pattern, seconds):
    screen, end = b"", time.monotonic() + seconds
    while time.monotonic() < end:
        ready, _, _ = select.select([fd], [], [], 0.005)
        if ready:
            try:
                screen += os.read(fd, 65536)
            except OSError:
                break
            if re.search(pattern, screen):
                return True
    return False

def one_jump(song, order, length):
    pid, fd = pty.fork()
    if pid == 0:
        os.environ.update(SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE="/dev/null")
        os.execv(xmplay, [xmplay, song])
    try:
        if not read_until(fd, rb"order 0/%d  pattern" % length, 10.0):
            raise RuntimeError("xmplay did not start playing " + song)
        read_until(fd, rb"never shown", 0.3)  # under way
        start = time.monotonic()
        os.write(fd, b"\x1b[C" * order)
        if not read_until(fd, rb"order %d/%d  " % (order, length), 10.0):
            raise RuntimeError("no jump to order %d in %s" % (order, song))
        return (time.monotonic() - start) * 1000.0
    finally:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
        os.close(fd)

print(f"{'song':<10} {'length':>7} " + " ".join(f"{p:>3}%: order  least median" for p in (25, 50, 75, 99)))
worst = 0.0
for song in songs:
    info = subprocess.run([xmplay, "--info", song], capture_output=True, text=True, check=True).stdout
    length = int(re.search(r"song length: +(\d+)", info).group(1))
    duration = re.search(r"duration: +(\S+)", info).group(1)
    cells = []
    for percent in (25, 50, 75, 99):
        order = order_at(song, percent)
        times = [one_jump(song, order, length) for _ in range(runs)]
        worst = max(worst, statistics.median(times))
        cells.append(f"{order:>10} {min(times):>6.1f} {statistics.median(times):>6.1f}")
    print(f"{os.path.basename(song):<10} {duration:>7} " + " ".join(cells))
print(f"ms from the keys to the status line at the order jumped to; worst median {worst:.1f} ms")
PYTHON
