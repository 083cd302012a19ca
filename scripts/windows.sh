#!/usr/bin/env bash
# Builds Tallorin for 64-bit Windows on Debian 12 and packs
# dist/tallorin-windows-x64.zip: Tallorin.exe, its engine, the dialogs,
# tallorin-report.exe, the help file, the Qt libraries and plugins they load
# and the compiler's runtime. Installs what is missing first.
#
# Qt for Windows is built once from Debian's own source package, against the
# host's Qt tools of the same version, into a cache outside the checkout
# (TALLORIN_WINDOWS_CACHE, ~/.cache/tallorin-windows by default) and reused.
#   windows.sh           the cache if missing, then the program and the zip
#   windows.sh --qt      the cache only
#   windows.sh --test    the program, the zip, and the window's start-up test
#                        under wine (tests/app_windows/run_under_wine.sh)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cache="${TALLORIN_WINDOWS_CACHE:-$HOME/.cache/tallorin-windows}"
qt="$cache/qt6"
toolchain="$here/cmake/mingw-w64-x86_64.cmake"
jobs="${TALLORIN_JOBS:-$(nproc)}"

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  $sudo apt-get -o DPkg::Lock::Timeout=900 update -q
  $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -q --no-install-recommends "${missing[@]}"
}

# The cross compilers (posix threads), the host's Qt tools, wine to run the
# result, and what unpacks a source package and packs the zip.
install_missing g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
  mingw-w64-x86-64-dev qt6-base-dev qt6-base-dev-tools cmake ninja-build dpkg-dev zip wine64 xvfb

build_qt() {
  local version src build
  version="$(dpkg-query -W -f='${Version}' qt6-base-dev)"
  # The source of exactly the host's Qt, so that its tools (moc, rcc, uic)
  # match the libraries built here.
  if ! apt-get source --print-uris -q "qt6-base=$version" >/dev/null 2>&1; then
    local suite
    suite="$(. /etc/os-release && echo "$VERSION_CODENAME")"
    echo "Adding the deb-src line for $suite"
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s %s-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$suite" "$suite" | $sudo tee /etc/apt/sources.list.d/tallorin-deb-src.sources >/dev/null
    $sudo apt-get -o DPkg::Lock::Timeout=900 update -q
  fi
  mkdir -p "$cache/source"
  src="$(find "$cache/source" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)"
  if [ -z "$src" ] || [ ! -f "$src/CMakeLists.txt" ]; then
    rm -rf "$cache/source"/*
    (cd "$cache/source" && apt-get source -q "qt6-base=$version")
    src="$(find "$cache/source" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)"
  fi
  build="$cache/build-qt6"
  # Only what Core, Gui, Widgets and Test need: no OpenGL (and so no
  # dynamic choice of it), D-Bus, SQL, network, printing or XML; Debian's
  # source lacks the tablet header. Third-party libraries are Qt's bundled
  # copies, since the cross sysroot has none of them.
  cmake -S "$src" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$qt" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_opengles2=OFF \
    -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_tabletevent=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF \
    -DFEATURE_testlib=ON -DFEATURE_widgets=ON -DFEATURE_vulkan=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_sql_sqlite=OFF -DINPUT_openssl=no
  nice -n 5 cmake --build "$build" -j "$jobs"
  cmake --install "$build"
  # The mark that the cache is complete: a build cut short leaves none.
  echo "$version" > "$qt/tallorin-qt-version"
}

if [ ! -f "$qt/tallorin-qt-version" ]; then
  start=$SECONDS
  build_qt
  echo "Qt for Windows built in $(( (SECONDS - start) / 60 )) min into $qt"
fi
[ "${1:-}" = "--qt" ] && exit 0

# The program, its engine, dialogs and report command, and the window's
# tests, with Qt for Windows from the cache: in build-windows/program/, beside
# the engine's own Windows build (tests/windows) in build-windows/.
build="$here/build-windows/program"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" -DQT_CHAINLOAD_TOOLCHAIN_FILE="$toolchain"
nice -n 5 cmake --build "$build" -j "$jobs"

# What the program needs beside it: the Qt libraries and plugins it loads
# and the compiler's runtime libraries (posix threads).
stage="$build/stage/Tallorin"
rm -rf "$build/stage"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/imageformats"
cp "$build/bin/Tallorin.exe" "$build/bin/TLR32.DLL" "$build/bin/tlr32dlg.dll" "$build/bin/tallorin-report.exe" \
   "$build/bin/tallorin-help.html" "$stage/"
cp "$here/LICENSE" "$stage/LICENSE.txt"
cp "$qt/bin/Qt6Core.dll" "$qt/bin/Qt6Gui.dll" "$qt/bin/Qt6Widgets.dll" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt"/plugins/styles/*.dll "$stage/styles/" 2>/dev/null || rmdir "$stage/styles"
cp "$qt"/plugins/imageformats/q{ico,gif,jpeg}.dll "$stage/imageformats/" 2>/dev/null || true
runtime="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"
for dll in libstdc++-6.dll libgcc_s_seh-1.dll; do cp "$runtime/$dll" "$stage/"; done
cp "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)" "$stage/"

mkdir -p "$here/dist"
rm -f "$here/dist/tallorin-windows-x64.zip"
(cd "$build/stage" && zip -q -r "$here/dist/tallorin-windows-x64.zip" Tallorin)
echo "Made dist/tallorin-windows-x64.zip ($(du -k "$here/dist/tallorin-windows-x64.zip" | cut -f1) KiB)"

if [ "${1:-}" = "--test" ]; then
  # The start-up test beside the program, as the zip has it, under wine.
  cp "$build/bin/window_start_test.exe" "$build/bin/platform_win32_test.exe" "$qt/bin/Qt6Test.dll" "$stage/"
  bash "$here/tests/app_windows/run_under_wine.sh" "$stage"
fi
