#!/usr/bin/env bash
# tallorin-report writing the JSON report of a folder (default /usr) to
# standard output, side by side with `ncdu -0 -o /dev/null` of the same folder
# (warm cache, median of 7 runs each), and the ratio. Needs the apt package
# ncdu and a build (scripts/build.sh).
#   bench/run_cli_report_bench.sh [FOLDER]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
folder="${1:-/usr}"
report="$here/build/bin/tallorin-report"
[ -x "$report" ] || { echo "build first: bash scripts/build.sh"; exit 1; }
command -v ncdu >/dev/null || { echo "ncdu is not installed (apt-get install ncdu)"; exit 1; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
time_ms() { local s e; s=$(date +%s%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s%N); echo $(( (e - s) / 1000000 )); }
ours_cmd=("$report" -q --format json -o - "$folder")
peer_cmd=(ncdu -0 -o /dev/null "$folder")
"${ours_cmd[@]}" >/dev/null 2>&1 || true  # warm the cache
ours=() peer=()
for i in 1 2 3 4 5 6 7; do  # interleaved, so a busy moment hits both
  ours+=("$(time_ms "${ours_cmd[@]}")")
  peer+=("$(time_ms "${peer_cmd[@]}")")
done
o=$(printf '%s\n' "${ours[@]}" | median)
p=$(printf '%s\n' "${peer[@]}" | median)
echo "JSON report of $folder to standard output: tallorin-report ${o} ms, ncdu -0 -o /dev/null ${p} ms," \
     "ratio $(awk "BEGIN {printf \"%.2f\", $o / $p}")"
# The report is one ncdu reads: a re-export of it lists as many entries.
"${ours_cmd[@]}" 2>/dev/null | ncdu -f - -o /dev/null && echo "ncdu reads the report from a pipe"
