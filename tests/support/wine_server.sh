#!/bin/sh
# wine_server.sh start|stop WINE WINESERVER
#
# Keeps one Wine server, with the prefix's background programs (services.exe,
# winedevice.exe, ...), running for a whole ctest run, their standard streams
# on /dev/null.
#
# Without it, the test program that finds no server running starts one, and
# the server and the background programs inherit that program's stderr, which
# is ctest's output pipe for the test. ctest waits for the pipe to close, so
# that test lasts as long as the server, and the server lives while any other
# wine program runs beside it: with programs repeated side by side, past the
# test's time limit.
set -u
action=$1
wine=$2
wineserver=$3

stop_server() {
  "$wineserver" -k >/dev/null 2>&1
  "$wineserver" -w >/dev/null 2>&1
}

case $action in
start)
  # A server left from before may hold some earlier test's pipe; and a
  # repeated start finds the one it started itself.
  stop_server
  # The server wants its prefix to exist: a new one is made first, by a
  # wineboot of its own, whose server ends once the prefix is written.
  if [ ! -f "${WINEPREFIX:-$HOME/.wine}/system.reg" ]; then
    "$wine" wineboot --init </dev/null >/dev/null 2>&1
    "$wineserver" -w >/dev/null 2>&1
  fi
  if ! "$wineserver" -p </dev/null >/dev/null 2>&1; then
    echo "wine_server.sh: $wineserver -p could not start a server" >&2
    exit 1
  fi
  # Starts the background programs now, on /dev/null, rather than from the
  # first test program.
  "$wine" wineboot --init </dev/null >/dev/null 2>&1
  ;;
stop)
  stop_server
  ;;
*)
  echo "usage: wine_server.sh start|stop WINE WINESERVER" >&2
  exit 2
  ;;
esac
