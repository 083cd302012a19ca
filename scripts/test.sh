#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
cd "$here/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"

# The window on Windows, under wine: when Qt for Windows is in its cache
# (scripts/windows.sh builds it once; that first build takes longer than a
# test run may).
windows_cache="${TALLORIN_WINDOWS_CACHE:-$HOME/.cache/tallorin-windows}"
if [ -f "$windows_cache/qt6/tallorin-qt-version" ]; then
  bash "$here/scripts/windows.sh" --test
else
  echo "Not run: the window's test under wine needs Qt for Windows in $windows_cache (bash scripts/windows.sh)"
fi
