#!/usr/bin/env bash
# A JSON report of a folder (default /usr) through the engine, side by side
# with `ncdu -0 -o FILE` of the same folder (warm cache, median of 7), and
# the ratio. Needs the apt package ncdu.
#   bench/run_report_bench.sh [FOLDER]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
folder="${1:-/usr}"
bin="$here/build/bin"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
command -v ncdu >/dev/null || { echo "ncdu is not installed (apt-get install ncdu)"; exit 1; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
time_ms() { local s e; s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N); echo $(( (e - s) / 1000000 )); }
"$bin/report_bench" "$bin/libtlr32.so" "$folder" "$out/warm.json"
ours=$(for i in 1 2 3 4 5 6 7; do time_ms "$bin/report_bench" "$bin/libtlr32.so" "$folder" "$out/r.json"; done | median)
peer=$(for i in 1 2 3 4 5 6 7; do time_ms ncdu -0 -o "$out/n.json" "$folder"; done | median)
echo "JSON report of $folder: tallorin ${ours} ms, ncdu -0 -o ${peer} ms, ratio $(awk "BEGIN {printf \"%.2f\", $ours / $peer}")"
ncdu -f "$out/r.json" -o /dev/null && echo "ncdu reads the report back"
