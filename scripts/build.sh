#!/usr/bin/env bash
# Configures and builds Tallorin into build/.
#   build.sh              everything: the programs, the tests, the benchmarks
#   build.sh TARGET...    only those targets and what they need
# A first configuration made for the program alone leaves the tests out, so
# that it needs no test packages, and precompiles the Qt headers (a fresh
# build's first window comes sooner); build.sh without targets brings the
# tests in.
set -euo pipefail
cd "$(dirname "$0")/.."
options=()
if [ $# -eq 0 ]; then
  options=(-DTALLORIN_TESTS=ON)
elif [ ! -f build/CMakeCache.txt ]; then
  options=(-DTALLORIN_TESTS=OFF -DTALLORIN_PCH=ON)
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build build -j"$(nproc)" "${targets[@]}"
