#!/usr/bin/env bash
# The engine against du, ncdu and gdu on generated trees and on /usr, warm
# cache, side by side in one run: wall-time ratios (hyperfine) and peak memory.
#   bash bench/run_engine_bench.sh [TREES_DIR]
# Needs: hyperfine, ncdu, gdu, time (apt packages of the same names).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
trees="${1:-/tmp/tallorin-bench}"
engine="$here/build/bin/tlr32_du"
[ -x "$engine" ] || bash "$here/scripts/build.sh"
if [ ! -f "$trees/bushy.manifest.json" ]; then
  mkdir -p "$trees"
  python3 "$here/../shared/bench/gentree.py" --root "$trees" all
fi
for t in "$trees/wide" "$trees/bushy" "$trees/deep" /usr; do
  echo "== $t"
  echo "figures (disk bytes as du counts them): engine $("$engine" -a "$t" | cut -f1), du $(du -s -B1 "$t" 2>/dev/null | cut -f1)"
  hyperfine -N -w 1 -r 9 --style basic \
    "du -s $t" "ncdu -0 -o /dev/null $t" "gdu -n -p $t" "$engine $t" 2>/dev/null | grep -E 'Benchmark|Time|faster'
  peak=$(mktemp)
  for cmd in "du -s $t" "ncdu -0 -o /dev/null $t" "gdu -n -p $t" "$engine $t"; do
    /usr/bin/time -f '%M' -o "$peak" $cmd >/dev/null 2>&1 || true
    printf '  peak %7s KiB  %s\n' "$(tail -1 "$peak")" "$cmd"
  done
  rm -f "$peak"
done
