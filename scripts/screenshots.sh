#!/usr/bin/env bash
# Renders the program's windows under Wine on a private Xvfb into
# docs/screenshots/*.png: an error box, an attention box, a question with
# translated buttons, a right-to-left box, the main window with its
# progress and the inform dialog with a news page. Uses a Wine prefix of its
# own in which Wine draws the window frames itself (there is no window
# manager on the virtual display).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KORVIX_BUILD:-$root/build}
out=$root/docs/screenshots
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
source "$root/scripts/xvfb.sh"

shots_prefix=$build/win/wineprefix-shots
work=$(mktemp -d)
stop_all() {
  WINEPREFIX=$shots_prefix wineserver -k 2>/dev/null || true
  korvix_stop_display
  rm -rf "$work"
}
trap stop_all EXIT
export KORVIX_WINEPREFIX=$shots_prefix
run() { "$build/win/wine-run.sh" "$@"; }
run reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
WINEPREFIX=$shots_prefix wineserver -p 2>/dev/null || true

mkdir -p "$out"
shoot() {
  local kind=$1 done_file=$work/$1.done log=$work/$1.log
  # The window's frame and text need the Hebrew code page for the
  # right-to-left box.
  local lang=${2:-en_US.UTF-8}
  LANG=$lang LC_ALL=$lang run "$build/win/bin/ui_demo.exe" "$kind" "Z:${done_file//\//\\}" >"$log" 2>&1 &
  local pid=$! rect=""
  for _ in $(seq 600); do
    rect=$(grep -m1 '^RECT ' "$log" || true)
    [ -n "$rect" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$rect" ]; then
    echo "screenshots: $kind did not appear" >&2
    kill "$pid" 2>/dev/null || true
    return 1
  fi
  read -r _ x y w h <<<"$rect"
  sleep 1  # let the X server finish drawing
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$kind.png"
  touch "$done_file"
  wait "$pid" || true
  echo "screenshots: $out/$kind.png (${w}x${h})"
}

shoot error
shoot attention
shoot question
shoot rtl he_IL.UTF-8
shoot main
shoot inform
