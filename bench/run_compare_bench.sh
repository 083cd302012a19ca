#!/usr/bin/env bash
# Side by side, medians of several runs: the report of a folder alone and
# compared with a saved scan of it (the ratio should stay under 1.3); a report
# written to a new name (no fsync) and over an existing one (fsync before the
# rename); and the read of a large generated scan, with its peak memory.
#   run_compare_bench.sh BUILD_DIR [FOLDER] [RUNS]
set -euo pipefail
build=${1:?build folder}; folder=${2:-/usr}; runs=${3:-5}
report=$build/bin/tallorin-report
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
timed() { local s e; s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N); echo "$e - $s" | bc; }
"$report" -q -o "$work/old.json" "$folder"
"$report" -q -o /dev/null --format text "$folder"   # warm the cache
alone=(); compared=()
for _ in $(seq "$runs"); do
  alone+=("$(timed "$report" -q --format text -o - "$folder")")
  compared+=("$(timed "$report" -q --compare "$work/old.json" --format text -o - "$folder")")
done
a=$(printf '%s\n' "${alone[@]}" | median); c=$(printf '%s\n' "${compared[@]}" | median)
echo "report alone $a s, with --compare $c s: ratio $(echo "scale=3; $c / $a" | bc)"
fresh=(); replaced=()
for i in $(seq "$runs"); do
  fresh+=("$(timed "$report" -q -o "$work/new-$i.json" "$folder")")
  replaced+=("$(timed "$report" -q -o "$work/old.json" "$folder")")
done
f=$(printf '%s\n' "${fresh[@]}" | median); r=$(printf '%s\n' "${replaced[@]}" | median)
echo "JSON report to a new name $f s (no fsync), over an existing file $r s (fsync): ratio $(echo "scale=3; $r / $f" | bc)"
if [ -x "$build/bin/scan_read_bench" ]; then
  "$build/bin/scan_read_bench" "$work/big.json" "${SCAN_MB:-1024}"
fi
