#!/usr/bin/env bash
# Speed of whole-song offline rendering: `xmplay --wav` against Debian's xmp
# (used as a black box, writing a WAV file the same way) on the modules
# make_bench_modules writes: twenty song-like modules of 60 s or more, and two
# with every channel busy on every row. Both programs play each module to its
# end. The figure that counts is the CPU time (user + system) of the whole
# process, per second of audio; the goal is xmplay at least 2x xmp's speed at
# the median of the songs and 1.5x on every one of them.
#
# Usage: bench/xmplay_vs_xmp.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  a Release build tree with xmplay and make_bench_modules built
#              (default: build)
#   RUNS       timed runs per program and module, the two programs taking
#              turns; the fastest of each counts (default 5)
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
if ! command -v xmp >/dev/null; then
  echo "xmp is not installed (Debian package xmp)" >&2
  exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$generator" "$work"

# Wall-clock and CPU time (user + system) of one run, in seconds: "WALL CPU".
timed() {
  local line
  line="$( { TIMEFORMAT='%3R %3U %3S'; time "$@" >/dev/null 2>&1; } 2>&1 )"
  awk -v l="$line" 'BEGIN { split(l, f, " "); printf "%.3f %.3f\n", f[1], f[2] + f[3] }'
}

# The smaller of two times, either of which may be empty.
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'; }

# Seconds of audio in a 16-bit stereo WAV file at 44100 Hz (data after the 44-byte header).
audio_seconds() {
  awk -v bytes="$(stat -c %s "$1")" 'BEGIN { print (bytes - 44) / (44100 * 4) }'
}

printf '%-7s %3s %7s | %8s %8s %7s | %8s %8s %7s | %9s\n' module ch audio_s \
  ours_wall ours_cpu ours_xRT xmp_wall xmp_cpu xmp_xRT ratio_cpu
ratios="$work/ratios"
: >"$ratios"
for file in "$work"/song*.xm "$work"/busy*.xm; do
  module="$(basename "$file" .xm)"
  ours_wall="" ours_cpu="" xmp_wall="" xmp_cpu=""
  for ((i = 0; i < runs; i++)); do
    read -r wall cpu < <(timed "$xmplay" --wav "$work/ours.wav" "$file")
    ours_wall="$(smaller "$ours_wall" "$wall")" ours_cpu="$(smaller "$ours_cpu" "$cpu")"
    read -r wall cpu < <(timed xmp --norc -f 44100 -b 16 -i linear -d wav -o "$work/xmp.wav" "$file")
    xmp_wall="$(smaller "$xmp_wall" "$wall")" xmp_cpu="$(smaller "$xmp_cpu" "$cpu")"
  done
  ours_audio="$(audio_seconds "$work/ours.wav")"
  xmp_audio="$(audio_seconds "$work/xmp.wav")"
  channels="$(od -An -tu2 -j68 -N2 "$file" | tr -d ' ')"
  awk -v m="$module" -v ch="$channels" -v a="$ours_audio" -v b="$xmp_audio" -v ow="$ours_wall" \
    -v oc="$ours_cpu" -v xw="$xmp_wall" -v xc="$xmp_cpu" 'BEGIN {
      printf "%-7s %3d %7.1f | %8.3f %8.3f %7.0f | %8.3f %8.3f %7.0f | %9.2f\n",
        m, ch, a, ow, oc, a / oc, xw, xc, b / xc, (a / oc) / (b / xc) }'
  if [[ "$module" == song* ]]; then
    awk -v a="$ours_audio" -v b="$xmp_audio" -v oc="$ours_cpu" -v xc="$xmp_cpu" \
      'BEGIN { print (a / oc) / (b / xc) }' >>"$ratios"
  fi
  if awk -v a="$ours_audio" -v b="$xmp_audio" 'BEGIN { exit !(b < a * 0.9 || b > a * 1.1) }'; then
    echo "  note: xmp rendered $xmp_audio s of audio, xmplay $ours_audio s; speeds are per second of audio" >&2
  fi
done
echo "xRT: seconds of audio per CPU second (user + system); ratio_cpu: xmplay's xRT / xmp's."
summary="$(sort -g "$ratios" | awk '{ r[NR] = $1 } END {
  median = NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2
  printf "%d songs: median ratio %.2f, worst %.2f, best %.2f\n", NR, median, r[1], r[NR] }')"
echo "$summary (wanted: median 2.00 or more, none below 1.50)"
awk -v s="$summary" 'BEGIN { split(s, f, " "); exit !(f[5] + 0 >= 2 && f[7] + 0 >= 1.5) }'
