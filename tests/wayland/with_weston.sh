#!/usr/bin/env bash
# Runs a command with a headless weston of its own as the Wayland compositor:
#   tests/wayland/with_weston.sh [--seat MODULE] -- COMMAND...
# weston gets a fresh XDG_RUNTIME_DIR (mode 0700) and socket, which the
# command sees in XDG_RUNTIME_DIR and WAYLAND_DISPLAY; it is stopped when the
# command ends, also when it fails. Headless weston has no seat; --seat loads
# the module (tests/wayland/WestonTestSeat.c) that gives it one, and sets
# TAMBORO_WAYLAND_SEAT=required for the tests.
set -euo pipefail
modules=()
seat=
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
    --seat) modules=(--modules="$(realpath "$2")"); seat=required; shift 2 ;;
    *) echo "with_weston.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] && shift
[ $# -gt 0 ] || { echo "usage: with_weston.sh [--seat MODULE] -- COMMAND..." >&2; exit 2; }

runtime=$(mktemp -d "${TMPDIR:-/tmp}/tamboro-weston.XXXXXX")
chmod 0700 "$runtime"
socket=tamboro-weston
weston_pid=
stop_weston() {
  if [ -n "$weston_pid" ] && kill -0 "$weston_pid" 2>/dev/null; then
    kill "$weston_pid" 2>/dev/null || true
    wait "$weston_pid" 2>/dev/null || true
  fi
  rm -rf "$runtime"
}
trap stop_weston EXIT

XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --no-config --idle-time=0 \
  --socket="$socket" "${modules[@]}" --log="$runtime/weston.log" >/dev/null 2>&1 &
weston_pid=$!
for _ in $(seq 100); do
  [ -S "$runtime/$socket" ] && break
  kill -0 "$weston_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -S "$runtime/$socket" ]; then
  echo "with_weston.sh: weston did not start" >&2
  cat "$runtime/weston.log" >&2 || true
  exit 1
fi

status=0
env -u DISPLAY XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" TAMBORO_WAYLAND_SEAT="$seat" "$@" || status=$?
exit "$status"
