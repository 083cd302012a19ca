#!/usr/bin/env bash
# Runs the Win32 platform layers' test and the window's start-up test
# (platform_win32_test.exe, window_start_test.exe, in the folder given beside
# Tallorin.exe and what the zip holds) under wine64 on an X display of
# its own, in a wine prefix of its own; then reads back from outside what the
# test did: the settings in the registry (wine reg query) and the file Delete
# moved to the Recycle Bin (wine keeps it in the desktop's trash).
set -euo pipefail
folder="$(cd "$1" && pwd)"
# Debian's wine64 package keeps its loader and server out of PATH.
command -v wine64 >/dev/null || export PATH="/usr/lib/wine:$PATH"
work="$(mktemp -d)"
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display nobody holds: its lock file is made by the server itself.
display=""
for n in $(seq 90 150); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free X display" >&2; exit 1; }
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

export DISPLAY=":$display" WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
wine64 wineboot -i >/dev/null 2>&1

# Links to files, which wine shows as the files they lead to.
mkdir -p "$work/links/a" "$work/links/b"
head -c 1000 /dev/zero >"$work/links/a/target"
ln -s ../a/target "$work/links/b/to target"
export TALLORIN_LINKS="Z:${work//\//\\}\\links"

# Each test writes its results to a file, shown afterwards: wine hands a
# console program's output on only when it has a console.
status=0
for test in platform_win32_test window_start_test; do
  # A test that does not end (a hang at exit) fails rather than holding the run.
  (cd "$folder" && timeout 600 wine64 "./$test.exe" -o "Z:${work//\//\\}\\$test.txt,txt") || status=1
  grep -v "^PASS\|^QCRITICAL\|^QWARN" "$work/$test.txt" || true
done

# The settings as the registry holds them, read by wine's own tool.
query="$(wine64 reg query 'HKCU\SOFTWARE\Quorlan\Tallorin\Settings' 2>/dev/null | tr -d '\r')"
for value in StatusBar ToolBar LVNameWidth TreeViewWidth; do
  if ! grep -Eq "^ +$value +REG_DWORD +0x[0-9a-f]+$" <<<"$query"; then
    echo "FAIL: the registry has no REG_DWORD $value:" >&2
    echo "$query" >&2
    status=1
  fi
done
grep -Eq "^ +StatusBar +REG_DWORD +0x0$" <<<"$query" || { echo "FAIL: StatusBar is not 0" >&2; status=1; }

# The deleted file in the trash, with the record that puts it back.
trashed="$(find "$work" -path '*/Trash/files/a.txt' 2>/dev/null | head -n 1)"
if [ -z "$trashed" ] || [ "$(stat -c %s "$trashed")" != 100 ]; then
  echo "FAIL: a.txt is not in the Recycle Bin" >&2
  status=1
elif ! grep -q '^Path=.*a.txt$' "$(dirname "$(dirname "$trashed")")/info/a.txt.trashinfo"; then
  echo "FAIL: a.txt has no record to put it back" >&2
  status=1
fi
[ "$status" -eq 0 ] && echo "The window under wine: rows, totals, registry and Recycle Bin as expected"
exit "$status"
