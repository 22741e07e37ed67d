#!/usr/bin/env bash
# Builds what the Windows build needs and Debian does not package for MinGW: Qt 6 (Core, Gui,
# Widgets and the "windows" platform plugin) and libarchive, from Debian's source packages of the
# same versions as the Linux build's, with MinGW-w64 (posix threads), once per machine.
#
# The result goes to a cache outside the checkout, keyed by those versions (default
# /var/cache/tcvarnel/mingw64-qt<version>-la<version>; VARNEL_WINDEPS_CACHE names another root).
# Every finished step leaves a stamp there: an interrupted run goes on where it stopped, and a
# finished one returns at once. It prints where it is, and how long each step took.
#
# Usage: tools/windows-deps.sh          prints the cache folder on its last line
#        tools/windows-deps.sh --check  prints it and succeeds only when everything is built
set -euo pipefail

say() { echo "== windows-deps: $*" >&2; }
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

version_of() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null | sed 's/^[0-9]*://; s/[-+].*//'; }
qt=$(version_of qt6-base-dev)
la=$(version_of libarchive-dev)
[ -n "$qt" ] && [ -n "$la" ] || { say "install qt6-base-dev and libarchive-dev first (tools/deps.sh)"; exit 1; }
cache=${VARNEL_WINDEPS_CACHE:-/var/cache/tcvarnel}/mingw64-qt$qt-la$la
mkdir -p "$cache/src" "$cache/stamps"
log=$cache/build.log
timed() { # timed NAME COMMAND...: runs a step once, remembering that it finished and how long it took
  local name=$1; shift
  [ -e "$cache/stamps/$name" ] && return 0
  say "$name (once per machine; the log is $log)"
  local started=$SECONDS
  "$@" >>"$log" 2>&1 || { say "$name failed: see $log"; exit 1; }
  echo "$((SECONDS - started))" >"$cache/stamps/$name"
  say "$name took $((SECONDS - started)) s"
}

# Debian's source packages: a deb-src entry for the suites the machine's deb entries name.
sources() {
  local list=/etc/apt/sources.list.d/tcvarnel-src.sources
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    # The same stanzas as the machine's deb entries (suites, components, keys), for sources.
    if ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1; then
      awk 'BEGIN { RS = ""; ORS = "\n\n" } /(^|\n)Types: *deb(\n|$)/ { sub(/Types: *deb/, "Types: deb-src"); print }' \
        /etc/apt/sources.list.d/*.sources | $sudo tee "$list" >/dev/null
    else
      sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $sudo tee /etc/apt/sources.list.d/tcvarnel-src.list >/dev/null
    fi
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends dpkg-dev \
    g++-mingw-w64-x86-64-posix libz-mingw-w64-dev qt6-base-dev-tools cmake ninja-build
}

fetch() { # fetch PACKAGE VERSION: the unpacked source in $cache/src
  (cd "$cache/src" && apt-get source -qq "$1=$(dpkg-query -W -f='${Version}' "$2")")
}

# The project's toolchain file; Qt's own refers to it by its absolute path, so a copy lives in the cache.
toolchain() {
  cp "$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/cmake/mingw-w64-x86_64.cmake" "$cache/mingw-w64-x86_64.cmake"
}

qtbase_dir() { find "$cache/src" -maxdepth 1 -type d -name 'qt6-base-*' | head -1; }

qt_configure() {
  local source
  source=$(qtbase_dir)
  # Without Direct2D the windows platform plugin still reaches for the DirectWrite font database
  # that comes with it: two guards keep it out.
  sed -i 's/QT_CONFIG(directwrite3)$/QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
    "$source/src/plugins/platforms/windows/qwindowsintegration.cpp"
  cmake -S "$source" -B "$cache/qt-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$cache/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$cache/qt" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
    -DFEATURE_testlib=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
    -DFEATURE_direct2d=OFF -DFEATURE_tabletevent=OFF -DFEATURE_vulkan=OFF -DFEATURE_dynamicgl=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_harfbuzz=ON -DFEATURE_freetype=OFF -DFEATURE_fontconfig=OFF
}

qt_build() {
  cmake --build "$cache/qt-build" --parallel "$(nproc)"
  cmake --install "$cache/qt-build"
}

archive_build() {
  local source mingw=/usr/x86_64-w64-mingw32
  source=$(find "$cache/src" -maxdepth 1 -type d -name 'libarchive-*' | head -1)
  # Its ZLIB_WINAPI run-test cannot run when cross-compiling: the answer is given. zlib is linked
  # in statically (no ZLIB_DLL), so the programs carry no zlib1.dll.
  rm -rf "$cache/archive-build"
  cmake -S "$source" -B "$cache/archive-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$cache/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$cache/libarchive" \
    -DZLIB_INCLUDE_DIR=$mingw/include -DZLIB_LIBRARY=$mingw/lib/libz.a \
    -DZLIB_WINAPI=0 -DZLIB_WINAPI_WITH_LIB=$mingw/lib/libz.a -DZLIB_DLL=0 -DZLIB_DLL_WITH_LIB=$mingw/lib/libz.a \
    -DENABLE_TEST=OFF -DENABLE_TAR=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF -DENABLE_UNZIP=OFF \
    -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF -DENABLE_NETTLE=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
    -DENABLE_LZ4=OFF -DENABLE_BZip2=OFF -DENABLE_LIBXML2=OFF -DENABLE_EXPAT=OFF -DENABLE_ICONV=OFF \
    -DENABLE_LIBB2=OFF -DENABLE_CNG=OFF -DENABLE_ACL=OFF -DENABLE_XATTR=OFF
  cmake --build "$cache/archive-build" --parallel "$(nproc)"
  cmake --install "$cache/archive-build"
}

# A change of the configuration (in this script) builds again what it concerns.
qt_key=$(declare -f qt_configure | md5sum | cut -c1-8)
archive_key=$(declare -f archive_build | md5sum | cut -c1-8)
if [ "${1:-}" = --check ]; then
  for step in sources fetch-qt fetch-libarchive toolchain "qt-configure-$qt_key" "qt-build-$qt_key" \
    "libarchive-$archive_key"; do
    [ -e "$cache/stamps/$step" ] || exit 1
  done
  echo "$cache"
  exit 0
fi

total=$SECONDS
timed sources sources
timed fetch-qt fetch qt6-base qt6-base-dev
timed fetch-libarchive fetch libarchive libarchive-dev
timed toolchain toolchain
timed "qt-configure-$qt_key" qt_configure
timed "qt-build-$qt_key" qt_build
timed "libarchive-$archive_key" archive_build
if [ "$((SECONDS - total))" -gt 0 ]; then
  # The steps' own times, over every run that built them (an interrupted step counts its last run).
  say "ready: $(cat "$cache"/stamps/* | awk '{ s += $1 } END { print s }') s of building in all"
fi
echo "$cache"
