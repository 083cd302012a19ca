#!/usr/bin/env bash
# Tallorin side by side with du, ncdu and gdu, in one run, as ratios:
#   - one computation of /usr and of the generated trees through the engine's
#     C interface (bench/tlr32_du), warm and, as root, cold (the page cache
#     dropped before every single run of every program);
#   - a JSON report of /usr against `ncdu -0 -o FILE` (warm);
#   - the window's refresh of the `wide` tree against `du -s` of it, under a
#     real X server (Xvfb) when xvfb-run is there, else offscreen.
#
#   bench/compare.sh [--warm | --cold | --both] [--runs N] [--trees DIR] [--skip-report] [--skip-refresh]
#
# --both is the default. Trees are generated once into DIR (default
# /tmp/tallorin-bench, about 2.5 GB) with ../shared/bench/gentree.py.
# Needs the apt packages ncdu, gdu and, for the refresh under X, xvfb.
# The machine should be otherwise idle; the load is printed with the figures.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
mode=both runs=5 trees=/tmp/tallorin-bench report=1 refresh=1
while [ $# -gt 0 ]; do
  case "$1" in
    --warm|--cold|--both) mode="${1#--}" ;;
    --runs) runs="$2"; shift ;;
    --trees) trees="$2"; shift ;;
    --skip-report) report=0 ;;
    --skip-refresh) refresh=0 ;;
    -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
    *) echo "compare.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
case "$runs" in ''|*[!0-9]*|0) echo "compare.sh: --runs needs a whole number of 1 or more" >&2; exit 2 ;; esac

# Cold runs need the page cache dropped, which only root can do, and only
# where /proc/sys is writable (not in most containers). Refuse rather than
# print warm figures under a cold heading.
drop_caches() { sync && echo 3 >/proc/sys/vm/drop_caches; }
if [ "$mode" != warm ]; then
  if [ "$(id -u)" != 0 ] || ! drop_caches 2>/dev/null; then
    echo "compare.sh: cannot drop the page cache here (that needs root and a writable" >&2
    echo "/proc/sys/vm/drop_caches), so there are no cold runs. Run as root, or use --warm." >&2
    exit 1
  fi
fi
for tool in du ncdu gdu; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is not installed (apt-get install $tool)" >&2; exit 1; }
done

bin="$here/build/bin"
[ -x "$bin/tlr32_du" ] && [ -x "$bin/report_bench" ] && [ -x "$bin/refresh_bench" ] || bash "$here/scripts/build.sh"
if [ ! -f "$trees/deep.manifest.json" ]; then
  echo "generating the test trees in $trees (once, about 25 s) ..."
  mkdir -p "$trees"
  python3 "$here/../shared/bench/gentree.py" --root "$trees" all >/dev/null
fi

ms() { echo $(( $(date +%s%N) / 1000000 )); }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# Wall milliseconds of one run of the command; optionally cold.
time_one() {
  local cold="$1"; shift
  [ "$cold" = 1 ] && drop_caches
  local s; s=$(ms)
  "$@" >/dev/null 2>&1 || true
  echo $(( $(ms) - s ))
}

# Program i (0 tallorin, 1 du, 2 ncdu, 3 gdu) sizing tree t.
prog() {
  case "$1" in
    0) "$bin/tlr32_du" "$2" ;;
    1) du -s "$2" ;;
    2) ncdu -0 -o /dev/null "$2" ;;
    3) gdu -n -p "$2" ;;
  esac
}
# The four programs of one tree, run in turns (each round in another order,
# so that none always follows the same one); prints the medians in ms.
compare_tree() {
  local cold="$1" t="$2" r i k
  local -a files
  for i in 0 1 2 3; do files[$i]=$(mktemp); done
  if [ "$cold" = 0 ]; then for i in 0 1 2 3; do prog "$i" "$t" >/dev/null 2>&1 || true; done; fi
  for ((r = 0; r < runs; r++)); do
    for ((k = 0; k < 4; k++)); do
      i=$(( (k + r) % 4 ))
      time_one "$cold" prog "$i" "$t" >>"${files[$i]}"
    done
  done
  for i in 0 1 2 3; do median <"${files[$i]}"; rm -f "${files[$i]}"; done
}

echo "Tallorin against du, ncdu and gdu on $(hostname), $(nproc) cores; median of $runs runs, wall ms"
echo "load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-8s %-5s %9s %9s %9s %9s   %s\n' tree cache tallorin "du -s" ncdu gdu "tallorin / best peer"
for t in /usr "$trees/wide" "$trees/bushy" "$trees/deep"; do
  for cold in 0 1; do
    [ "$cold" = 0 ] && [ "$mode" = cold ] && continue
    [ "$cold" = 1 ] && [ "$mode" = warm ] && continue
    mapfile -t m < <(compare_tree "$cold" "$t")
    best=${m[1]} bestName=du
    [ "${m[2]}" -lt "$best" ] && best=${m[2]} bestName=ncdu
    [ "${m[3]}" -lt "$best" ] && best=${m[3]} bestName=gdu
    printf '%-8s %-5s %9s %9s %9s %9s   %.2f (%s)\n' "$(basename "$t")" "$([ "$cold" = 1 ] && echo cold || echo warm)" \
      "${m[0]}" "${m[1]}" "${m[2]}" "${m[3]}" "$(awk "BEGIN {print ${m[0]} / ($best > 0 ? $best : 1)}")" "$bestName"
  done
  # The figures themselves: the engine's disk bytes as du counts them.
  ours=$("$bin/tlr32_du" -a "$t" | cut -f1) theirs=$(du -s -B1 "$t" 2>/dev/null | cut -f1 || true)
  [ "$ours" = "$theirs" ] || echo "  note: disk bytes differ on $t: tallorin $ours, du $theirs"
done

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
if [ "$report" = 1 ]; then
  "$bin/report_bench" "$bin/libtlr32.so" /usr "$out/warm.json" || true
  ncdu -0 -o "$out/warm-n.json" /usr >/dev/null 2>&1 || true
  ours=() peer=()
  for ((r = 0; r < runs; r++)); do
    ours+=("$(time_one 0 "$bin/report_bench" "$bin/libtlr32.so" /usr "$out/r.json")")
    peer+=("$(time_one 0 ncdu -0 -o "$out/n.json" /usr)")
  done
  o=$(printf '%s\n' "${ours[@]}" | median) p=$(printf '%s\n' "${peer[@]}" | median)
  echo "JSON report of /usr (warm): tallorin $o ms, ncdu -0 -o $p ms, ratio $(awk "BEGIN {printf \"%.2f\", $o / $p}")"
fi

if [ "$refresh" = 1 ]; then
  if command -v xvfb-run >/dev/null; then
    where="Xvfb"
    line=$(xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb "$bin/refresh_bench" "$trees/wide" "$runs" 2>/dev/null | grep '^refresh of' || true)
  else
    where="offscreen (no xvfb-run)"
    line=$(QT_QPA_PLATFORM=offscreen "$bin/refresh_bench" "$trees/wide" "$runs" 2>/dev/null | grep '^refresh of' || true)
  fi
  echo "window, ${where}: ${line:-refresh_bench gave no figures}"
fi
echo "load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
