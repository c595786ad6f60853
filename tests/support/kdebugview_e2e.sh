#!/usr/bin/env bash
# The debug viewer collects a program's diagnostic lines: start it in the
# background, wait for its window, let the probe write lines (one of them
# longer than the device buffer; it fails when their atoms stay), stop the
# viewer and compare what it stored.
# usage: kdebugview_e2e.sh WINE_RUN KDEBUGVIEW_EXE SUPPORT_PROBE_EXE
set -euo pipefail
run=$1 viewer=$2 probe=$3
tmp=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$tmp"' EXIT
winpath() { printf 'Z:%s' "${1//\//\\}"; }

"$run" "$viewer" --out "$(winpath "$tmp/out.txt")" --ready "$(winpath "$tmp/ready")" \
  --exit-after-ms 90000 &
pid=$!
for _ in $(seq 300); do [ -e "$tmp/ready" ] && break; sleep 0.1; done
[ -e "$tmp/ready" ] || { echo "viewer did not start"; exit 1; }

"$run" "$probe" lines 3
"$run" "$viewer" --stop --wait-ms 20000
wait "$pid"
pid=

{ printf 'line 1\nline 2\nline 3\n'; printf 'L%.0s' $(seq 300); printf '\n'; } > "$tmp/want.txt"
cmp "$tmp/want.txt" "$tmp/out.txt" || { od -c "$tmp/out.txt" | head -20; exit 1; }
