#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed program
# offscreen on a folder: it must find its engine and its manual from where it
# is installed, and still be running (showing the folder) after a few seconds.
#   install_check.sh BUILD_DIR
set -u
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "install failed"; exit 1; }
for f in bin/tallorin bin/tallorin-report lib/tallorin/libtlr32.so lib/tallorin/libtlr32dlg.so share/doc/tallorin/tallorin-help.html \
         share/applications/tallorin.desktop share/icons/hicolor/scalable/apps/tallorin.svg \
         share/icons/hicolor/48x48/apps/tallorin.png share/man/man1/tallorin.1.gz share/man/man1/tallorin-report.1.gz \
         share/metainfo/io.quorlan.Tallorin.metainfo.xml share/doc/tallorin/copyright share/doc/tallorin/changelog.gz; do
  [ -f "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
# The manual page names the manual where this installation put it (the
# prefix is known only now), and the settings file by the variable that moves it.
page="$(zcat "$prefix/share/man/man1/tallorin.1.gz")" || { echo "the manual page is no gzip file"; exit 1; }
grep -qF "$prefix/share/doc/tallorin/tallorin-help.html" <<<"$page" ||
  { echo "the manual page does not name the installed manual:"; grep -A1 '^\.I' <<<"$page"; exit 1; }
grep -q '@' <<<"$page" && { echo "the manual page has an unreplaced placeholder:"; grep '@' <<<"$page"; exit 1; }
for p in tallorin tallorin-report; do
  zcat "$prefix/share/man/man1/$p.1.gz" | grep -q 'XDG_CONFIG_HOME' ||
    { echo "the manual page of $p does not name \$XDG_CONFIG_HOME"; exit 1; }
done
grep -q 'XDG_CONFIG_HOME' "$prefix/share/doc/tallorin/tallorin-help.html" ||
  { echo "the help does not name \$XDG_CONFIG_HOME"; exit 1; }
# A second prefix gets a page of its own, not the first one's.
second="$prefix/other/usr"
cmake --install "$build" --prefix "$second" >/dev/null || { echo "second install failed"; exit 1; }
zcat "$second/share/man/man1/tallorin.1.gz" | grep -qF "$second/share/doc/tallorin/tallorin-help.html" ||
  { echo "the second prefix's manual page names another folder"; exit 1; }
# File managers offer the program for a folder, and hand it the folder.
entry="$prefix/share/applications/tallorin.desktop"
grep -qx 'MimeType=.*inode/directory;.*' "$entry" || { echo "the desktop entry is not offered for folders"; exit 1; }
grep -Eq '^Exec=.* %[fFuU]( |$)' "$entry" || { echo "the desktop entry's command takes no folder"; exit 1; }
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/tallorin.desktop" || exit 1
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/io.quorlan.Tallorin.metainfo.xml" >/dev/null || exit 1
fi
runtime="$prefix/runtime"; mkdir -m 700 "$runtime"
# Moved away from the build: nothing of it may be found by chance.
log="$prefix/log"
(cd / && env -u LD_LIBRARY_PATH QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" \
   XDG_CONFIG_HOME="$prefix/config" timeout 4 "$prefix/bin/tallorin" "$prefix/share" >"$log" 2>&1)
rc=$?
if [ "$rc" -ne 124 ]; then
  echo "the installed program ended with $rc instead of running:"; cat "$log"; exit 1
fi
grep -q "Cannot" "$log" && { echo "it complained:"; cat "$log"; exit 1; }
# The window came up (a missing engine ends before it): it stored its placement.
grep -q 'Tallorin\\Settings' "$prefix/config/tallorin/registry.reg" 2>/dev/null ||
  { echo "the window never came up:"; cat "$log"; exit 1; }
# The report program finds the same engine, with no display.
mkdir "$prefix/tree" && echo data >"$prefix/tree/file"
report="$(cd / && env -u LD_LIBRARY_PATH -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$prefix/config" \
          "$prefix/bin/tallorin-report" --format csv "$prefix/tree" 2>&1)" ||
  { echo "the installed report program failed:"; echo "$report"; exit 1; }
grep -q '^file,' <<<"$report" || { echo "the installed report lacks the file's row:"; echo "$report"; exit 1; }
# The README's way to uninstall, run as it stands there on an installation
# in ~/.local, leaves no file of it behind.
home="$prefix/home"
cmake --install "$build" --prefix "$home/.local" >/dev/null || { echo "install into ~/.local failed"; exit 1; }
uninstall="$(awk '/^To uninstall/ {found = 1} found && /^```sh$/ {on = 1; next} on && /^```$/ {exit} on' \
             "$(dirname "$0")/../README.md")"
[ -n "$uninstall" ] || { echo "the README says nothing of how to uninstall"; exit 1; }
(cd / && HOME="$home" bash -euc "$uninstall") || { echo "the README's uninstall failed"; exit 1; }
left="$(find "$home/.local" ! -type d)"
[ -z "$left" ] || { echo "the README's uninstall left behind:"; echo "$left"; exit 1; }
echo "installed program runs from $prefix"
