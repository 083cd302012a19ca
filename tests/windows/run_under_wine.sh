#!/usr/bin/env bash
# The Windows engine, its hosts and tallorin-report under wine: cross-builds
# them into build-windows/ of the checkout, generates the awkward tree, has the
# Linux engine (FIGURES_DUMP) write its figures of it, and runs the Windows
# tests on the same tree through Z:. Usage: run_under_wine.sh FIGURES_DUMP SOURCE_DIR
# Exit status: that of the Windows tests; 1 when something needed is missing.
set -euo pipefail
dump="$1"
src="$2"
wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
for tool in x86_64-w64-mingw32-g++-posix "$wine"; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (scripts/install-deps.sh installs it)" >&2; exit 1; }
done

build="$src/build-windows"
started=$(date +%s)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
  -DTALLORIN_WINDOWS_ENGINE_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build "$build" -j"${TALLORIN_BUILD_JOBS:-$(nproc)}" --target engine_windows_tests
echo "cross-build: $(( $(date +%s) - started )) s"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# The awkward tree, as far as wine can show it: wine follows a symbolic link
# to a file, hides a dangling one, shows a pipe as an empty file, and reaches
# no path longer than Linux allows, so links to files and paths beyond 4,096
# bytes are left out here.
t="$work/tree"
mkdir -p "$t"/a/emptydir "$t"/a/onlydirs/x "$t"/a/onlydirs/y/z "$t"/b "$t"/locked/sub
head -c 100 /dev/urandom >"$t/a/small.txt"
head -c 4096 /dev/zero >"$t/a/exact4k"
: >"$t/a/empty"
truncate -s 64M "$t/a/sparse.img"
ln -s .. "$t/a/up"
ln -s ../b "$t/a/to b"
mkfifo "$t/a/pipe"
head -c 5000 /dev/zero >"$t/a/hard1"
ln "$t/a/hard1" "$t/a/hard2"
ln "$t/a/hard1" "$t/b/hard3"
head -c 10 /dev/zero >"$t/a/caf$(printf '\xc3\xa9') \$name"
head -c 7 /dev/zero >"$t/b/newest"
touch -d @1700000000.5 "$t/b/newest"
head -c 999 /dev/zero >"$t/locked/inside"
# A chain well past the 260 characters of a short Windows path.
deep="$t/deep"
for i in $(seq 1 40); do deep="$deep/component_name_$i"; done
mkdir -p "$deep"
head -c 12345 /dev/zero >"$deep/far.bin"
head -c 777 /dev/zero >"$deep/pair1"
ln "$deep/pair1" "$deep/pair2"
for d in a/emptydir a/onlydirs/x a/onlydirs/y/z a/onlydirs/y a/onlydirs a b locked/sub locked deep; do
  touch -d @1500000000 "$t/$d"
done
find "$t/deep" -depth -type d -exec touch -d @1500000000 {} +
# Wine dates a link to a folder as the folder: links and what they lead to
# alike, so that both engines see the same newest date.
touch -h -d @1500000000 "$t/a/up" "$t/a/to b" "$t"
chmod 0 "$t/locked"

# Folders in both disk modes would differ: wine gives a folder no allocated
# size, where Linux counts its blocks. So the allocated mode is compared on
# what is not a folder.
{
  printf '%s\n' "" a b deep locked a/emptydir a/onlydirs "a/to b"
  printf 'both:%s\n' a/small.txt a/exact4k a/empty a/sparse.img a/up a/pipe a/hard1 a/hard2 b/hard3 b/newest \
    "a/caf$(printf '\xc3\xa9') \$name" "${deep#$t/}/far.bin" "${deep#$t/}/pair2"
} | "$dump" "$t" >"$work/linux-figures.txt"

# Links to files, which wine shows as the files they lead to: one to a file
# beside the folder, one to a file of the same name elsewhere.
links="$work/links"
mkdir -p "$links/a" "$links/b"
head -c 1000 /dev/zero >"$links/a/target"
head -c 10 /dev/zero >"$links/b/own"
ln -s ../a/target "$links/b/to target"
ln -s ../a/target "$links/b/target"

# Large enough that a walk lasts while a test ends the process from outside.
large="$work/large"
for d in $(seq 1 40); do
  mkdir -p "$large/d$d"
  (cd "$large/d$d" && touch $(seq -f "f%g" 1 150))
done
mkdir -p "$work/scratch"

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export TALLORIN_FIXTURE="$(winpath "$t")" TALLORIN_LINUX_FIGURES="$(winpath "$work/linux-figures.txt")"
export TALLORIN_LARGE_TREE="$(winpath "$large")" TALLORIN_SCRATCH="$(winpath "$work/scratch")"
export TALLORIN_LINKS="$(winpath "$links")"
started=$(date +%s)
status=0
"$wine" "$build/bin/engine_windows_tests.exe" "${@:3}" || status=$?
"${wine%64}server" -k 2>/dev/null || wineserver -k 2>/dev/null || true
echo "under wine: $(( $(date +%s) - started )) s"
exit $status
