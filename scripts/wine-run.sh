#!/usr/bin/env bash
# Runs one Windows program under Wine for the tests and tools: a Wine prefix
# inside the build folder (never the user's own), no Wine diagnostics, and the
# display of the Xvfb that the test command started (or a private one).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${KORVIX_WINEPREFIX:-$here/../build/win/wineprefix}
export WINEARCH=win64
export WINEDEBUG=${KORVIX_WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
WINE=${KORVIX_WINE:-/usr/lib/wine/wine64}
[ -x "$WINE" ] || WINE=wine
export WINELOADER=$WINE

# Create the prefix once; concurrent first runs wait for each other.
if [ ! -f "$WINEPREFIX/.korvix-ready" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.korvix-ready" ]; then
      DISPLAY= wineboot -i >/dev/null 2>&1 || true
      # Without a window manager on Xvfb, managed windows take seconds to
      # close; unmanaged ones close at once.
      "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
      wineserver -w || true
      touch "$WINEPREFIX/.korvix-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi

# Without a running wineserver, start one that ends itself shortly after the
# last program of this prefix, so a hand-run test leaves nothing behind.
if [ -z "${KORVIX_KEEP_SERVER:-}" ]; then
  wineserver -p5 2>/dev/null || true
fi

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$WINE" "$@"
fi
exec "$WINE" "$@"
