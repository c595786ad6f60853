#!/usr/bin/env bash
# Inflate throughput of InflateText against python3's zlib.decompress on the
# same streams, in the same run.
#   bench/inflate_bench.sh [--full] [--reps N]
# The deterministic corpus (about 8 MB, or 96 MB with --full) is written once
# under the build folder; every file is compressed with zlib level 9, as the
# authoring tool stores file records, and both sides inflate those streams.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KORVIX_BUILD:-$root/build}
preset=small
reps=5
while [ $# -gt 0 ]; do
  case "$1" in
    --full) preset=full ;;
    --reps) reps=$2; shift ;;
    *) echo "usage: $0 [--full] [--reps N]" >&2; exit 2 ;;
  esac
  shift
done
bin=$build/host/bin/inflate_bench
[ -x "$bin" ] || cmake --build "$build/host" --target inflate_bench >/dev/null
corpus=$build/bench/corpus-$preset
streams=$build/bench/streams-$preset
if [ ! -d "$corpus" ] || [ -z "$(ls -A "$corpus")" ]; then
  flag=(); [ $preset = small ] && flag=(--small)
  python3 "$root/../shared/bench/corpus.py" "${flag[@]}" --force "$corpus"
fi
python3 - "$corpus" "$streams" <<'PY'
import os, sys, zlib
src, dst = sys.argv[1:3]
os.makedirs(dst, exist_ok=True)
for name in sorted(os.listdir(src)):
    out = os.path.join(dst, name + ".z")
    if not os.path.exists(out):
        with open(os.path.join(src, name), "rb") as f:
            data = f.read()
        with open(out, "wb") as f:
            f.write(zlib.compress(data, 9))
PY
echo "== $preset corpus, $reps repetitions, MB = 10^6 plain bytes"
"$bin" "$corpus" "$streams" "$reps"
python3 - "$corpus" "$streams" "$reps" <<'PY'
import os, sys, time, zlib
src, dst, reps = sys.argv[1], sys.argv[2], int(sys.argv[3])
def kind(n):
    e = n.rsplit(".", 1)[-1].lower()
    return {"txt": "text", "log": "text", "bin": "random", "img": "sparse"}.get(e, "other")
per = {}
for name in sorted(os.listdir(src)):
    with open(os.path.join(dst, name + ".z"), "rb") as f:
        z = f.read()
    t0 = time.perf_counter()
    n = 0
    for _ in range(reps):
        n += len(zlib.decompress(z))
    s = time.perf_counter() - t0
    b, t = per.get(kind(name), (0, 0.0))
    per[kind(name)] = (b + n, t + s)
tb = sum(b for b, _ in per.values()); ts = sum(t for _, t in per.values())
for k in sorted(per):
    b, t = per[k]
    if b > 0:
            print("zlib.decompress  %-7s %9.1f MB %8.3f s %9.1f MB/s" % (k, b / 1e6, t, b / 1e6 / t))
print("zlib.decompress  %-7s %9.1f MB %8.3f s %9.1f MB/s" % ("total", tb / 1e6, ts, tb / 1e6 / ts))
PY
