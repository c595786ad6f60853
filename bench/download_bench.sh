#!/usr/bin/env bash
# Download throughput: a 50 MB file from python's http.server on 127.0.0.1,
# fetched by HTTP_DownloadFile under Wine (tools/download_bench) and
# by curl, on the same URL in the same run; then what the 2 ms message pause
# before every 8,192-byte chunk costs on its own, and the download's peak
# working set (memory stays flat: chunks go straight to the file).
#   bench/download_bench.sh [MB]      (default 50)
# MB = 10^6 bytes. Prints figures only; nothing is asserted.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KORVIX_BUILD:-$root/build}
mb=${1:-50}
bin=$build/win/bin
[ -x "$bin/download_bench.exe" ] || cmake --build "$build/win" --target download_bench >/dev/null
work=$build/bench/download
rm -rf "$work"
mkdir -p "$work/docs"
head -c $((mb * 1000000)) /dev/urandom > "$work/docs/big.bin"
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work/docs" > "$work/server.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q "port" "$work/server.log" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/.* port \([0-9]*\).*/\1/p' "$work/server.log" | head -1)
url=http://127.0.0.1:$port/big.bin

source "$root/scripts/xvfb.sh"
"$build/win/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true  # Wine is up before the timing
line=$("$build/win/wine-run.sh" "$bin/download_bench.exe" "$url" "$(winpath "$work/big.out")" | tr -d '\r')
t0=$(date +%s.%N)
curl -s -o "$work/big.curl" "$url"
t1=$(date +%s.%N)

field() { echo "$line" | sed -nE "s/(^|.* )$1=([^ ]*).*/\2/p"; }
bytes=$(field bytes) ms=$(field ms) pause=$(field pause_ms) chunks=$(field chunks) peak=$(field peak_ws)
cmp -s "$work/docs/big.bin" "$work/big.out" && same=identical || same=DIFFERENT
curl_ms=$(echo "($t1 - $t0) * 1000" | bc)
echo "== $mb MB from $url"
echo "HTTP_DownloadFile: $bytes bytes ($same) in $ms ms -> $(echo "scale=1; $bytes / 1000 / $ms" | bc) MB/s;" \
     "peak working set $((peak / 1024)) KiB"
echo "curl:              $(stat -c %s "$work/big.curl") bytes in ${curl_ms%.*} ms ->" \
     "$(echo "scale=1; $bytes / 1000 / $curl_ms" | bc) MB/s"
echo "2 ms pause:        $chunks chunks x WaitPumping(0, 2) = $pause ms alone" \
     "($(echo "scale=0; 100 * $pause / $ms" | bc) % of the download);" \
     "without it: about $(echo "scale=1; $bytes / 1000 / ($ms - $pause)" | bc) MB/s"
rm -rf "$work"
