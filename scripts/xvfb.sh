#!/usr/bin/env bash
# Sourced by the test and demo commands: one Xvfb display and one persistent
# wineserver for the Windows programs, both stopped when the caller exits.
root=${root:?}
build=${build:-$root/build}
export KORVIX_WINEPREFIX=$build/win/wineprefix
export KORVIX_KEEP_SERVER=1
korvix_stop_display() {
  WINEPREFIX=$KORVIX_WINEPREFIX wineserver -k 2>/dev/null || true
  [ -n "${KORVIX_XVFB_PID:-}" ] && kill "$KORVIX_XVFB_PID" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap korvix_stop_display EXIT
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    KORVIX_XVFB_PID=$!
    export DISPLAY=":$n"
    break
  fi
done
for _ in $(seq 50); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
# Make the prefix (first run only) and keep one wineserver for all tests.
"$build/win/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true
WINEPREFIX=$KORVIX_WINEPREFIX wineserver -p 2>/dev/null || true
