#!/usr/bin/env bash
# The installed player as its users meet it. Installs this build into a
# scratch prefix and checks that
#   - the shared library exports the functions korvanti/player.h declares,
#     all of them and nothing else, under a KORVANTI_ version node, and the
#     static library defines no external symbol but those and C++ ones inside
#     namespace korvanti (weak instances of the standard library's templates
#     aside): a C program with a `channels` or `mixing_rate` of its own links
#     and keeps it;
#   - examples/render_wav.c builds from C alone with what pkg-config prints,
#     also after the prefix has moved (the .pc file finds it from where it
#     lies), statically with what pkg-config --static prints, and with a
#     LANGUAGES C CMake project through find_package, against the shared and
#     the static target;
#   - each of these programs writes the WAV bytes `xmplay --wav` writes, on
#     musik.xm and on the first eight fuzz seed modules that end (within
#     two hours) in the order of their names;
#   - examples/music_and_jingle.c mixes two players: before the jingle the
#     song's own frames, from it on their sum, clipped.
# Exit status 77 (skipped) without pkg-config, a C compiler or python3.
#
# install_test.sh BUILD_DIR SOURCE_DIR LIBDIR XMPLAY FUZZ_SEEDS MUSIK_XM
set -euo pipefail
build="$1" source="$2" libdir="$3" xmplay="$4" fuzz_seeds="$5" musik="$6"
cc="${CC:-cc}"
for tool in pkg-config "$cc" nm c++filt python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }
lib="$work/prefix/$libdir"

# Exports: the defined dynamic symbols against the header's declarations.
header="$work/prefix/include/korvanti/player.h"
[[ -f "$header" ]] || fail "no korvanti/player.h in the prefix"
grep -v '^#' "$header" | grep -o 'KORVANTI_API [^(]*(' | sed 's/ *($//; s/.*[ *]//' | sort >"$work/declared"
[[ -s "$work/declared" ]] || fail "no function found in the header"
nm -D --defined-only "$lib/libkorvanti-player.so" | awk '$2 != "A" { sub(/@.*/, "", $3); print $3 }' |
  sort >"$work/exported"
diff "$work/declared" "$work/exported" >"$work/exports.diff" ||
  { cat "$work/exports.diff"; fail "exports differ from the header's functions (< declared only, > exported only)"; }
nm -D "$lib/libkorvanti-player.so" >"$work/dynamic-symbols"
grep -q ' A KORVANTI_' "$work/dynamic-symbols" || fail "no KORVANTI_ version node"

# The static library: external definitions are the header's functions or
# live in namespace korvanti; weak ones (template instances) may be shared.
nm -g --defined-only "$lib/libkorvanti-player.a" | awk 'NF == 3 && $2 !~ /^[WVuvw]$/ { print $3 }' |
  sort -u >"$work/static-symbols"
grep -v '^korvanti_' "$work/static-symbols" | c++filt |
  grep -Ev '^((typeinfo|typeinfo name|vtable|guard variable|VTT) for )?korvanti::' >"$work/foreign" || true
[[ ! -s "$work/foreign" ]] || { cat "$work/foreign"; fail "the static library defines symbols outside korvanti"; }
grep -q '^korvanti_player_render$' "$work/static-symbols" || fail "the static library lacks korvanti_player_render"

# A C program whose globals have the names the player's once had links with
# the static library and keeps them, also with -fcommon.
cat >"$work/own_globals.c" <<'EOF'
#include <korvanti/player.h>
int channels = 7, mixing_rate = 11, block_frames = 13;
int ring_frames, voice_table, file_callbacks, empty_sample;
int main(void) {
    korvanti_player* player = korvanti_player_create(44100, 0);
    int ok = player != 0 && korvanti_player_block_frames(player) == 884 && channels == 7 && mixing_rate == 11 &&
             block_frames == 13;
    korvanti_player_destroy(player);
    return ok ? 0 : 1;
}
EOF
for common in -fno-common -fcommon; do
  "$cc" -std=c99 "$common" -I"$work/prefix/include" "$work/own_globals.c" "$lib/libkorvanti-player.a" \
    -lstdc++ -lm -lpthread -ldl -o "$work/own_globals" || fail "$common: a program with its own channels does not link"
  "$work/own_globals" || fail "$common: the program's own globals were not its own"
done

# The modules: musik.xm and seeds xmplay finds an end in.
mkdir "$work/seeds" "$work/modules"
cp "$musik" "$work/modules/"
"$fuzz_seeds" "$work/seeds" >/dev/null
seeds=0
for seed in "$work"/seeds/*.xm; do
  ((seeds < 8)) || break
  if "$xmplay" --info "$seed" 2>/dev/null | grep -q '^duration: *[0-9]'; then
    cp "$seed" "$work/modules/"
    seeds=$((seeds + 1))
  fi
done
((seeds > 0)) || fail "no seed module with an end"
for module in "$work"/modules/*.xm; do
  "$xmplay" --wav "${module%.xm}.expected.wav" "$module" 2>/dev/null || fail "xmplay --wav $module"
  "$xmplay" --raw "${module%.xm}.raw" "$module" 2>/dev/null || fail "xmplay --raw $module"
done

# Runs a build of render_wav on every module and compares its WAV bytes.
check_program() {
  local program="$1" how="$2" module
  for module in "$work"/modules/*.xm; do
    "$program" "$module" "$work/out.wav" || fail "$how: render_wav $(basename "$module") failed"
    cmp -s "$work/out.wav" "${module%.xm}.expected.wav" ||
      fail "$how: render_wav and xmplay --wav differ on $(basename "$module")"
  done
}

# pkg-config's flags for the prefix, with extra pkg-config options.
build_with_pkg_config() {
  local prefix="$1" out="$2"
  shift 2
  PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" PKG_CONFIG_LIBDIR="$prefix/$libdir/pkgconfig" \
    pkg-config "$@" --cflags --libs korvanti-player >"$work/flags" || fail "pkg-config finds no korvanti-player in $prefix"
  # shellcheck disable=SC2046
  "$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror "$source/examples/render_wav.c" $(cat "$work/flags") -o "$out" ||
    fail "cc with pkg-config's flags ($(cat "$work/flags"))"
}

build_with_pkg_config "$work/prefix" "$work/render_wav_pkg"
LD_LIBRARY_PATH="$lib" check_program "$work/render_wav_pkg" "pkg-config"

# Static: pkg-config --static names all the static library needs, with the
# shared one out of the way.
cp -r "$work/prefix" "$work/static-prefix"
rm -f "$work/static-prefix/$libdir"/libkorvanti-player.so*
build_with_pkg_config "$work/static-prefix" "$work/render_wav_static" --static
check_program "$work/render_wav_static" "pkg-config --static"

mv "$work/prefix" "$work/moved"
build_with_pkg_config "$work/moved" "$work/render_wav_moved"
LD_LIBRARY_PATH="$work/moved/$libdir" check_program "$work/render_wav_moved" "pkg-config, prefix moved"

cmake -S "$source/examples" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$work/moved" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_BUILD_TYPE=Release >"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; fail "find_package(KorvantiPlayer 2)"; }
cmake --build "$work/cmake-build" >"$work/cmake-build.log" 2>&1 || { cat "$work/cmake-build.log"; fail "the CMake project"; }
check_program "$work/cmake-build/render_wav" "find_package"
[[ -x "$work/cmake-build/render_wav_static" ]] || fail "no KorvantiPlayer::player_static beside the shared target"
check_program "$work/cmake-build/render_wav_static" "find_package, static"

# Two players mixed: the song, and the first module again as a jingle from
# 0.5 s on; the WAV's frames against both modules' own renders.
song="$work/modules/musik.xm"
jingle="$(ls "$work"/modules/*.xm | head -n 1)"
"$work/cmake-build/music_and_jingle" "$song" "$jingle" 0.5 "$work/mixed.wav" || fail "music_and_jingle"
python3 - "$work/mixed.wav" "${song%.xm}.raw" "${jingle%.xm}.raw" <<'EOF' || fail "music_and_jingle's mix"
import struct, sys
mixed = open(sys.argv[1], 'rb').read()[44:]
song = open(sys.argv[2], 'rb').read()
jingle = open(sys.argv[3], 'rb').read()
assert len(mixed) == len(song), ('length', len(mixed), len(song))
values = lambda data: struct.unpack('<%dh' % (len(data) // 2), data)
m, s, j = values(mixed), values(song), values(jingle)
start = int(0.5 * 44100) * 2
assert m[:start] == s[:start], 'before the jingle'
for i in range(start, len(m)):
    k = i - start
    want = max(-32768, min(32767, s[i] + (j[k] if k < len(j) else 0)))
    assert m[i] == want, ('value', i, m[i], want)
EOF

echo "installed, built five ways and the same bytes as xmplay --wav on $(ls "$work"/modules/*.xm | wc -l) modules; two players mixed"
