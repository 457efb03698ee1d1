#!/usr/bin/env bash
# Speed of whole-song offline rendering: `xmplay --wav` against Debian's xmp
# (used as a black box, writing a WAV file the same way), both writing to
# memory (/dev/shm where there is one), both playing each module to its end.
# The figure that counts is the CPU time (user + system) of the whole
# process, per second of audio: each program's least time over RUNS runs,
# the two programs taking turns.
#
# Two sets of modules:
#   song  make_bench_modules: twenty song-like modules of 60 s or more with
#         long loops, and two with every channel busy on every row (shown,
#         not counted in the median);
#   real  make_real_song_modules: twenty-four modules made like real ones
#         (short chip loops, envelopes, vibrato, frequent notes, speeds 2 to
#         6), 60 s to 5 minutes.
# Goals, per set: xmplay at least 2x xmp's speed at the median and 1.6x on
# every song with the AVX2 loops (or any faster set); 1.5x at the median with
# the plain loops.
#
# Usage: bench/xmplay_vs_xmp.sh [--set song|real] [--mixer SET] [BUILD_DIR] [RUNS]
#   --set      which modules (default song)
#   --mixer    passed on to xmplay: plain, sse2, avx2 or avx512 (default: what
#              xmplay picks, the fastest the processor runs)
#   BUILD_DIR  a Release build tree with xmplay and the set's generator built
#              (default: build)
#   RUNS       timed runs per program and module (default 5)
# XMPLAY=PATH runs another xmplay than BUILD_DIR's.
set -euo pipefail

set_name=song
mixer=""
while [[ $# -gt 0 && "$1" == --* ]]; do
  case "$1" in
    --set) set_name="$2"; shift 2 ;;
    --mixer) mixer="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
build="${1:-build}"
runs="${2:-5}"
xmplay="${XMPLAY:-$build/tools/xmplay/xmplay}"
case "$set_name" in
  song) generator="$build/bench/make_bench_modules"; pattern="song*.xm busy*.xm" ;;
  real) generator="$build/bench/make_real_song_modules"; pattern="real*.xm" ;;
  *) echo "unknown set $set_name (song or real)" >&2; exit 2 ;;
esac
for program in "$xmplay" "$generator"; do
  if [[ ! -x "$program" ]]; then
    echo "missing $program: build xmplay and $(basename "$generator") first" >&2
    exit 1
  fi
done
if ! command -v xmp >/dev/null; then
  echo "xmp is not installed (Debian package xmp)" >&2
  exit 1
fi
mixer_args=()
if [[ -n "$mixer" ]]; then mixer_args=(--mixer "$mixer"); fi
want_median=2.0 want_worst=1.6
if [[ "$mixer" == plain ]]; then want_median=1.5 want_worst=0; fi

work="$(mktemp -d)"
output_dir="$work"
if [[ -d /dev/shm && -w /dev/shm ]]; then output_dir="$(mktemp -d /dev/shm/xmplay_vs_xmp.XXXXXX)"; fi
trap 'rm -rf "$work" "$output_dir"' EXIT
"$generator" "$work" >/dev/null

# CPU time (user + system) of one run, in seconds.
cpu_time() {
  local line
  line="$( { TIMEFORMAT='%3U %3S'; time "$@" >/dev/null 2>&1; } 2>&1 )"
  awk -v l="$line" 'BEGIN { split(l, f, " "); printf "%.3f\n", f[1] + f[2] }'
}

# The smaller of two times, either of which may be empty.
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'; }

# Seconds of audio in a 16-bit stereo WAV file at 44100 Hz (data after the 44-byte header).
audio_seconds() {
  awk -v bytes="$(stat -c %s "$1")" 'BEGIN { print (bytes - 44) / (44100 * 4) }'
}

echo "set $set_name, xmplay loops: ${mixer:-default}, least of $runs runs"
printf '%-7s %3s %7s | %8s %7s | %8s %7s | %6s\n' module ch audio_s ours_cpu ours_xRT xmp_cpu xmp_xRT ratio
ratios="$work/ratios"
: >"$ratios"
ours_wav="$output_dir/x.wav" xmp_wav="$output_dir/p.wav"
for name in $pattern; do
  for file in "$work"/$name; do
    [[ -e "$file" ]] || continue
    module="$(basename "$file" .xm)"
    ours="" theirs=""
    for ((i = 0; i < runs; i++)); do
      ours="$(smaller "$ours" "$(cpu_time "$xmplay" "${mixer_args[@]}" --wav "$ours_wav" "$file")")"
      theirs="$(smaller "$theirs" "$(cpu_time xmp --norc --nocmd --quiet -f 44100 -b 16 -i linear -d wav \
        -o "$xmp_wav" "$file")")"
    done
    ours_audio="$(audio_seconds "$ours_wav")"
    xmp_audio="$(audio_seconds "$xmp_wav")"
    channels="$(od -An -tu2 -j68 -N2 "$file" | tr -d ' ')"
    awk -v m="$module" -v ch="$channels" -v a="$ours_audio" -v b="$xmp_audio" -v oc="$ours" -v xc="$theirs" 'BEGIN {
        printf "%-7s %3d %7.1f | %8.3f %7.0f | %8.3f %7.0f | %6.2f\n",
          m, ch, a, oc, a / oc, xc, b / xc, (a / oc) / (b / xc) }'
    if [[ "$module" != busy* ]]; then
      awk -v a="$ours_audio" -v b="$xmp_audio" -v oc="$ours" -v xc="$theirs" \
        'BEGIN { print (a / oc) / (b / xc) }' >>"$ratios"
    fi
    if awk -v a="$ours_audio" -v b="$xmp_audio" 'BEGIN { exit !(b < a * 0.9 || b > a * 1.1) }'; then
      echo "  note: xmp rendered $xmp_audio s of audio, xmplay $ours_audio s; speeds are per second of audio" >&2
    fi
  done
done
echo "xRT: seconds of audio per CPU second (user + system); ratio: xmplay's xRT / xmp's."
summary="$(sort -g "$ratios" | awk '{ r[NR] = $1 } END {
  median = NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2
  printf "%d songs: median ratio %.2f, worst %.2f, best %.2f\n", NR, median, r[1], r[NR] }')"
echo "$summary (wanted: median $want_median or more, none below $want_worst)"
awk -v s="$summary" -v m="$want_median" -v w="$want_worst" \
  'BEGIN { split(s, f, " "); exit !(f[5] + 0 >= m && f[7] + 0 >= w) }'
