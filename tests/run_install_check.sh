#!/usr/bin/env bash
# The README's first command, bash scripts/run.sh, in a clean copy of the
# sources (and so a build folder of its own), asked only for the version so
# that it ends without a display; then the README's install works from what
# it built, and the installed programs run.
#   run_install_check.sh SOURCE_DIR
set -u
source="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "$*"; exit 1; }

# The sources as a checkout has them: tracked files and new ones, no build
# folder, nothing ignored.
mkdir "$work/src"
if git -C "$source" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$source" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf -)
else
  tar -C "$source" --exclude='./build*' -cf - .
fi | tar -C "$work/src" -xf - || fail "cannot copy the sources"
[ -d "$work/src/build" ] && fail "the copy has a build folder"

noDisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
"${noDisplay[@]}" bash "$work/src/scripts/run.sh" --version >"$work/run.log" 2>&1 ||
  { tail -n 30 "$work/run.log"; fail "scripts/run.sh --version failed"; }
version="$(tail -n1 "$work/run.log")"
[[ "$version" =~ ^tallorin\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || { tail -n 5 "$work/run.log"; fail "no version from run.sh"; }

prefix="$work/prefix"
cmake --install "$work/src/build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { tail -n 30 "$work/install.log"; fail "cmake --install after scripts/run.sh failed"; }
for f in bin/tallorin bin/tallorin-report lib/tallorin/libtlr32.so lib/tallorin/libtlr32dlg.so \
         share/icons/hicolor/48x48/apps/tallorin.png share/man/man1/tallorin.1.gz share/doc/tallorin/copyright; do
  [ -f "$prefix/$f" ] || fail "not installed after scripts/run.sh: $f"
done
installed="$(cd / && "${noDisplay[@]}" "$prefix/bin/tallorin" --version)" || fail "the installed tallorin --version failed"
[ "$installed" = "$version" ] || fail "the installed program says $installed, run.sh's $version"
(cd / && "${noDisplay[@]}" "$prefix/bin/tallorin-report" --version) | grep -q "^tallorin-report " ||
  fail "the installed tallorin-report does not run"
echo "after scripts/run.sh, cmake --install put $(find "$prefix" -type f | wc -l) files in place"
