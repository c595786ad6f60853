#!/usr/bin/env bash
# Builds everything, packs a demo setup with korvix-pack (three files and the
# stand-in setup engine) and runs it under Wine as a user would: the stub
# extracts the files into the temporary folder, starts the engine, waits for
# it, passes on its exit code and removes the folder. Prints what the engine
# received and saw, the stub's diagnostic lines and the exit code.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KORVIX_BUILD:-$root/build}
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
source "$root/scripts/xvfb.sh"

run="$build/win/wine-run.sh"
bin="$build/win/bin"
demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo/files"
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

printf 'Korvix demo product\r\nThis file was extracted by the stub.\r\n' > "$demo/files/readme.txt"
head -c 200000 /dev/urandom > "$demo/files/data.bin"
printf '[product]\r\nname=Demo\r\nversion=1.0\r\n' > "$demo/files/product.ini"
# The stand-in engine reads its instructions from engine.cfg next to it.
printf 'report=%s\r\nexit=7\r\n' "$(winpath "$demo/engine-report.txt")" > "$demo/files/engine.cfg"

echo "== packing $demo/DemoSetup.exe"
"$build/host/bin/korvix-pack" build --stub "$bin/stub.exe" -o "$demo/DemoSetup.exe" \
  --engine "Engine.exe=$bin/standin_engine.exe" \
  --file "$demo/files/readme.txt" --file "$demo/files/data.bin" \
  --file "$demo/files/product.ini" --file "$demo/files/engine.cfg" \
  --set options.activity_bar=1 -q
"$build/host/bin/korvix-pack" list "$demo/DemoSetup.exe" | sed -n '/^volumes/,$p'

echo "== running DemoSetup.exe /demo under Wine"
"$run" "$bin/kdebugview.exe" --out "$(winpath "$demo/debug.txt")" \
  --ready "$(winpath "$demo/viewer.ready")" --exit-after-ms 120000 >/dev/null 2>&1 &
for _ in $(seq 100); do [ -e "$demo/viewer.ready" ] && break; sleep 0.1; done
rc=0
"$run" "$demo/DemoSetup.exe" /demo || rc=$?
"$run" "$bin/kdebugview.exe" --stop >/dev/null 2>&1 || true

echo "== what the setup engine received and saw"
if [ -f "$demo/engine-report.txt" ]; then
  tr -d '\r' < "$demo/engine-report.txt" | sed 's/^/   /'
else
  echo "   (the engine did not run)"
fi
echo "== the stub's diagnostic lines"
[ -f "$demo/debug.txt" ] && tr -d '\r' < "$demo/debug.txt" | sed '/^$/d; s/^/   /'
echo "== DemoSetup.exe ended with exit code $rc (the engine's exit code is 7)"

# The same product updated by its agent, from version 1 to version 2.
echo
echo "== the update agent: the demo product from version 1 to version 2"
korvix_stop_display
trap - EXIT
exec bash "$root/scripts/demo-update.sh"
