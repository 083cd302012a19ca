#!/usr/bin/env bash
# A JSON report of a folder (default /usr) through the engine, side by side
# with ncdu's export of the same folder to /dev/null (warm cache, hyperfine,
# 10 runs each), the ratio, and whether ncdu and gdu read the report back.
# Needs the apt packages ncdu and hyperfine (gdu optional).
#   bench/run_report_bench.sh [FOLDER]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
folder="${1:-/usr}"
bin="$here/build/bin"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
for tool in ncdu hyperfine; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (apt-get install $tool)"; exit 1; }
done
hyperfine -N -w 2 -r 10 --export-json "$out/times.json" \
  "ncdu -0 -o /dev/null $folder" "$bin/report_bench $bin/libtlr32.so $folder $out/r.json" >/dev/null
python3 - "$out/times.json" "$folder" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["results"]
peer, ours = (sorted(r["times"])[len(r["times"]) // 2] for r in runs)
print(f"JSON report of {sys.argv[2]}: tallorin {ours * 1000:.0f} ms, "
      f"ncdu -0 -o /dev/null {peer * 1000:.0f} ms (medians), ratio {ours / peer:.2f}")
PY
ncdu -f "$out/r.json" -o /dev/null && echo "ncdu reads the report back"
if command -v gdu >/dev/null; then gdu -n -p -f "$out/r.json" >/dev/null && echo "gdu reads the report back"; fi
