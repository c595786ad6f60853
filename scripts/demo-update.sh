#!/usr/bin/env bash
# Updates the demo product from version 1 to version 2 under Wine, as the
# update agent does on a user's machine: the plain agent starts its transient
# copy, which fetches Demo.info and the new setup from the update source,
# closes the running stand-in product, runs the new setup (its stand-in
# engine reports the switches it got), records version 2, starts the product
# again and restarts the plain agent. Prints what happened.
#
#   bash scripts/demo-update.sh [folder|http]   (default: folder; http serves
#                                                the source on 127.0.0.1)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KORVIX_BUILD:-$root/build}
case ${1:-folder} in
  folder) demo=demo ;;
  http) demo=demo_http ;;
  *) echo "usage: demo-update.sh [folder|http]" >&2; exit 2 ;;
esac
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
# A display and one wineserver, both stopped when this script ends; the
# local server stops with the Python driver.
source "$root/scripts/xvfb.sh"
python3 "$root/tests/agent/update_e2e.py" "$build" "$demo"
