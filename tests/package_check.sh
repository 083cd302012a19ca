#!/usr/bin/env bash
# Builds the Debian package as the README says (cpack -G DEB) into a
# temporary folder and checks it as a Debian user would: lintian finds no
# error and no warning, the licence is the same in LICENSE, the package's
# copyright file, the AppStream file and the About box, the changes and the
# manual pages are there, compressed, and the package runs no maintainer
# script.
#   package_check.sh BUILD_DIR SOURCE_DIR
set -u
build="$1"
source="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "$*"; exit 1; }

command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps.sh installs it)"
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$work"/out/tallorin_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "not one package: ${debs[*]}"
deb="${debs[0]}"
version="$(dpkg-deb -f "$deb" Version)"

# lintian's verdict: nothing at the levels error and warning.
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1
if grep -Eq '^[EW]: ' "$work/lintian.log"; then
  cat "$work/lintian.log"
  fail "lintian finds errors or warnings in $(basename "$deb")"
fi

root="$work/root"
dpkg-deb -x "$deb" "$root" || fail "the package does not unpack"
dpkg-deb -e "$deb" "$work/control" || fail "the package's control files do not unpack"
doc="$root/usr/share/doc/tallorin"

# No maintainer script: the engine's folder is private, ldconfig has nothing
# to do there, and nothing else needs doing on install.
for s in preinst postinst prerm postrm triggers; do
  [ -e "$work/control/$s" ] && fail "the package carries a $s: $(cat "$work/control/$s")"
done

# Manual pages and the changelog compressed at the highest level, named
# nothing inside; the changelog's newest entry is the package's version.
for f in usr/share/man/man1/tallorin.1.gz usr/share/man/man1/tallorin-report.1.gz usr/share/doc/tallorin/changelog.gz; do
  [ -f "$root/$f" ] || fail "not in the package: $f"
  gzip -t "$root/$f" || fail "not a gzip file: $f"
done
[ -e "$root/usr/share/man/man1/tallorin.1" ] && fail "an uncompressed manual page in the package"
head -n1 < <(zcat "$doc/changelog.gz") | grep -qF "tallorin ($version) " ||
  fail "the changelog does not begin with version $version: $(zcat "$doc/changelog.gz" | head -n1)"

# One licence, everywhere the same.
head -n1 "$source/LICENSE" | grep -qx 'MIT License' || fail "LICENSE is not the MIT License"
holder="$(sed -n 's/^Copyright (c) \(.*\)$/\1/p' "$source/LICENSE")"
[ -n "$holder" ] || fail "LICENSE names no copyright holder"
copyright="$doc/copyright"
[ -f "$copyright" ] || fail "the package has no copyright file"
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright" ||
  fail "the copyright file is not in Debian's machine-readable format"
grep -qx "Copyright: $holder" "$copyright" || fail "the copyright file does not name $holder"
grep -qx 'License: MIT' "$copyright" || fail "the copyright file does not say License: MIT"
# The licence's text after its copyright line, as the copyright file holds it
# (indented, empty lines as ".").
sed '1,/^Copyright (c)/d' "$source/LICENSE" | sed '/./,$!d' >"$work/license-text"
sed -n '/^License: MIT$/,$p' "$copyright" | tail -n +2 | sed 's/^ //; s/^\.$//' >"$work/copyright-text"
diff -u "$work/license-text" "$work/copyright-text" >"$work/license.diff" ||
  { cat "$work/license.diff"; fail "the copyright file's licence text is not LICENSE's"; }
grep -q '<project_license>MIT</project_license>' "$root/usr/share/metainfo/io.quorlan.Tallorin.metainfo.xml" ||
  fail "the AppStream file's project_license is not MIT"
# The About box reads its legal notice from the program's own version block.
notice="$(tr '\0' '\n' <"$root/usr/bin/tallorin" | grep -A1 -x '\\StringFileInfo\\040904E4\\LegalCopyright' | tail -n1)"
[[ "$notice" == "Copyright (C) $holder. "*"MIT License"* ]] || fail "the About box's legal notice is: $notice"

# What the package asks for: the Qt it links, and xdg-utils, through which
# files open with the desktop's application.
depends="$(dpkg-deb -f "$deb" Depends)"
for p in libc6 libqt6core6 libqt6gui6 libqt6widgets6; do
  grep -Eq "(^|, )$p( |,|$)" <<<"$depends" || fail "Depends lacks $p: $depends"
done
grep -Eq '(^|, )xdg-utils(,|$)' <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "xdg-utils is not recommended"
# Every shared library names the C library it runs on.
for lib in "$root"/usr/lib/tallorin/*.so; do
  readelf -d "$lib" | grep -q 'NEEDED.*\[libc\.so\.6\]' || fail "$(basename "$lib") is not linked against libc"
done
echo "$(basename "$deb"): lintian clean; licence, changelog and manual pages in place"
