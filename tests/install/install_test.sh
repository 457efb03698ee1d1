#!/usr/bin/env bash
# The installed player as its users meet it. Installs this build into a
# scratch prefix and checks that
#   - the shared library exports the functions korvanti/player.h declares,
#     all of them and nothing else;
#   - examples/render_wav.c builds from C alone with what pkg-config prints,
#     also after the prefix has moved (the .pc file finds it from where it
#     lies), and with a LANGUAGES C CMake project through find_package;
#   - each of these programs writes the WAV bytes `xmplay --wav` writes, on
#     musik.xm and on the first eight fuzz seed modules that end (within
#     two hours) in the order of their names.
# Exit status 77 (skipped) without pkg-config or a C compiler.
#
# install_test.sh BUILD_DIR SOURCE_DIR LIBDIR XMPLAY FUZZ_SEEDS MUSIK_XM
set -euo pipefail
build="$1" source="$2" libdir="$3" xmplay="$4" fuzz_seeds="$5" musik="$6"
cc="${CC:-cc}"
for tool in pkg-config "$cc" nm; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }

# Exports: the defined dynamic symbols against the header's declarations.
header="$work/prefix/include/korvanti/player.h"
[[ -f "$header" ]] || fail "no korvanti/player.h in the prefix"
grep -v '^#' "$header" | grep -o 'KORVANTI_PLAYER_API [^(]*(' | sed 's/ *($//; s/.*[ *]//' | sort >"$work/declared"
nm -D --defined-only "$work/prefix/$libdir/libkorvanti-player.so" |
  awk '$2 == "T" { sub(/@.*/, "", $3); print $3 }' | sort >"$work/exported"
diff "$work/declared" "$work/exported" >"$work/exports.diff" ||
  { cat "$work/exports.diff"; fail "exports differ from the header's functions (< declared only, > exported only)"; }

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

build_with_pkg_config() {
  local prefix="$1" out="$2"
  PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" PKG_CONFIG_LIBDIR="$prefix/$libdir/pkgconfig" \
    pkg-config --cflags --libs korvanti-player >"$work/flags" || fail "pkg-config finds no korvanti-player in $prefix"
  # shellcheck disable=SC2046
  "$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror "$source/examples/render_wav.c" $(cat "$work/flags") -o "$out" ||
    fail "cc with pkg-config's flags ($(cat "$work/flags"))"
}

build_with_pkg_config "$work/prefix" "$work/render_wav_pkg"
LD_LIBRARY_PATH="$work/prefix/$libdir" check_program "$work/render_wav_pkg" "pkg-config"

mv "$work/prefix" "$work/moved"
build_with_pkg_config "$work/moved" "$work/render_wav_moved"
LD_LIBRARY_PATH="$work/moved/$libdir" check_program "$work/render_wav_moved" "pkg-config, prefix moved"

cmake -S "$source/examples" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$work/moved" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_BUILD_TYPE=Release >"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; fail "find_package(KorvantiPlayer)"; }
cmake --build "$work/cmake-build" >"$work/cmake-build.log" 2>&1 || { cat "$work/cmake-build.log"; fail "the CMake project"; }
check_program "$work/cmake-build/render_wav" "find_package"

echo "installed, built three ways and the same bytes as xmplay --wav on $(ls "$work"/modules/*.xm | wc -l) modules"
