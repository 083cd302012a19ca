#!/usr/bin/env bash
# Installs what Tallorin needs on Debian 12, if missing.
#   install-deps.sh          building the program and running every test
#   install-deps.sh --run    building the program only (scripts/run.sh)
set -euo pipefail
packages=(build-essential cmake ninja-build qt6-base-dev libgl-dev libxcb1-dev rapidjson-dev
          adwaita-icon-theme hicolor-icon-theme)
# The tests also need GoogleTest, find and setpriv, Xvfb and xdotool (input on
# a real X server), ncdu, which reads the command-line report's JSON back,
# ncdu and gdu, whose exports the saved-scan reader is tested on,
# lintian, which checks the Debian package, and git, which copies the sources
# for a build of the run command's own.
[ "${1:-}" = "--run" ] || packages+=(libgtest-dev findutils util-linux ncdu gdu xvfb xdotool git lintian)
# The Windows engine's tests: the mingw-w64 cross compilers (posix threads)
# build it, wine runs it.
[ "${1:-}" = "--run" ] || packages+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine64)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get -o DPkg::Lock::Timeout=600 update -q
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
