#!/usr/bin/env bash
# Speed of offline rendering: `xmplay --wav` against Debian's xmp (used as a
# black box, writing a WAV file the same way) on two generated modules with 8
# and 32 busy channels. Reports each as a multiple of real time.
#
# Usage: bench/xmplay_vs_xmp.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  a Release build tree with xmplay and make_bench_modules built
#              (default: build)
#   RUNS       timed runs per program and module; the fastest counts (default 5)
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

# Fastest wall-clock time and fastest CPU time (user + system) of a command
# over $runs runs, in seconds: "WALL CPU". On a shared, loaded machine the CPU
# time is the steadier figure.
fastest() {
  local best_wall="" best_cpu="" line
  for ((i = 0; i < runs; i++)); do
    line="$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1 )"
    read -r best_wall best_cpu < <(awk -v l="$line" -v w="$best_wall" -v c="$best_cpu" 'BEGIN {
      split(l, f, " "); cpu = f[2] + f[3];
      if (w == "" || f[1] < w) w = f[1];
      if (c == "" || cpu < c) c = cpu;
      print w, c }')
  done
  echo "$best_wall $best_cpu"
}

# Seconds of audio in a 16-bit stereo WAV file at 44100 Hz (data after the 44-byte header).
audio_seconds() {
  awk -v bytes="$(stat -c %s "$1")" 'BEGIN { print (bytes - 44) / (44100 * 4) }'
}

printf '%-8s %8s | %9s %9s %9s %9s | %9s %9s %9s %9s | %7s %7s\n' module audio_s \
  ours_wall ours_xRT ours_cpu ours_xCPU xmp_wall xmp_xRT xmp_cpu xmp_xCPU ratio ratio_cpu
status=0
for module in busy8 busy32; do
  file="$work/$module.xm"
  read -r ours_wall ours_cpu < <(fastest "$xmplay" --wav "$work/$module.xmplay.wav" "$file")
  read -r xmp_wall xmp_cpu < <(fastest xmp --norc -f 44100 -b 16 -i linear -d wav -o "$work/$module.xmp.wav" "$file")
  ours_audio="$(audio_seconds "$work/$module.xmplay.wav")"
  xmp_audio="$(audio_seconds "$work/$module.xmp.wav")"
  line="$(awk -v m="$module" -v a="$ours_audio" -v b="$xmp_audio" -v ow="$ours_wall" -v oc="$ours_cpu" \
    -v xw="$xmp_wall" -v xc="$xmp_cpu" 'BEGIN {
      orw = a / ow; orc = a / oc; xrw = b / xw; xrc = b / xc;
      printf "%-8s %8.2f | %9.3f %9.1f %9.3f %9.1f | %9.3f %9.1f %9.3f %9.1f | %7.2f %7.2f\n",
        m, a, ow, orw, oc, orc, xw, xrw, xc, xrc, orw / xrw, orc / xrc }')"
  echo "$line"
  if awk -v a="$ours_audio" -v b="$xmp_audio" 'BEGIN { exit !(b < a * 0.9 || b > a * 1.1) }'; then
    echo "  note: xmp rendered $xmp_audio s of audio, xmplay $ours_audio s; speeds are per second of audio" >&2
  fi
  if awk -v r="$(echo "$line" | awk '{ print $NF }')" 'BEGIN { exit !(r < 1) }'; then status=1; fi
done
echo "xRT: seconds of audio per wall-clock second; xCPU: per CPU second (user + system)."
echo "ratio: xmplay speed / xmp speed (at least 1 wanted, 2 hoped for); the exit status follows ratio_cpu."
exit "$status"
