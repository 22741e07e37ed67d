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
# The terminal's error stream, for what a step must say beyond its log.
exec 8>&2
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

version_of() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null | sed 's/^[0-9]*://; s/[-+].*//'; }
qt=$(version_of qt6-base-dev)
la=$(version_of libarchive-dev)
[ -n "$qt" ] && [ -n "$la" ] || { say "install qt6-base-dev and libarchive-dev first (tools/deps.sh)"; exit 1; }
cache=${VARNEL_WINDEPS_CACHE:-/var/cache/tcvarnel}/mingw64-qt$qt-la$la
mkdir -p "$cache/src" "$cache/stamps"
log=$cache/build.log
# Two runs at once would build into one cache: the second waits for the first.
exec 9>"$cache/.lock"
if ! flock -n 9; then
  say "another run is building into $cache; waiting for it"
  flock 9
fi
timed() { # timed NAME COMMAND...: runs a step once, remembering that it finished and how long it took
  local name=$1; shift
  [ -e "$cache/stamps/$name" ] && return 0
  say "$name (once per machine; the log is $log)"
  local started=$SECONDS
  "$@" >>"$log" 2>&1 || { say "$name failed: see $log"; exit 1; }
  echo "$((SECONDS - started))" >"$cache/stamps/$name"
  say "$name took $((SECONDS - started)) s"
}

# Debian's source packages. The exact versions installed must be fetched, and a security update
# lives in its own suite: every suite a deb entry names gets a deb-src entry here unless another
# deb-src entry already covers it, so a machine whose own deb-src lines name only some suites still
# finds the rest.
ours_src=/etc/apt/sources.list.d/tcvarnel-src.sources
# Prints "TYPE URI SUITE SIGNED-BY COMPONENTS..." for each suite of each entry apt reads (deb822 and
# one-line forms; "-" for no key), leaving out our own file.
apt_entries() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk '/^[ \t]*deb(-src)?[ \t]/ {
        type = $1; i = 2; key = "-"
        if ($i ~ /^\[/) {
          while (i <= NF) { if ($i ~ /signed-by=/) { key = $i; sub(/.*signed-by=/, "", key); sub(/\].*/, "", key) }
                            if ($i ~ /\]$/) { i++; break }; i++ }
        }
        line = type " " $i " " $(i + 1) " " key
        for (j = i + 2; j <= NF; j++) line = line " " $j
        print line }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && [ "$f" != "$ours_src" ] || continue
    awk 'BEGIN { RS = ""; FS = "\n" }
      { types = uris = suites = comps = ""; key = "-"; enabled = "yes"
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^#/) continue
          split($i, kv, ":"); name = tolower(kv[1]); value = substr($i, index($i, ":") + 1); gsub(/^[ \t]+|[ \t]+$/, "", value)
          if (name == "types") types = value; else if (name == "uris") uris = value
          else if (name == "suites") suites = value; else if (name == "components") comps = value
          else if (name == "signed-by") key = value; else if (name == "enabled") enabled = tolower(value)
        }
        if (enabled == "no") next
        nt = split(types, t, " "); nu = split(uris, u, " "); ns = split(suites, su, " ")
        for (a = 1; a <= nt; a++) for (b = 1; b <= nu; b++) for (c = 1; c <= ns; c++)
          print t[a] " " u[b] " " su[c] " " key " " comps }' "$f"
  done
}

sources() {
  local entries missing
  entries=$(apt_entries)
  # The deb suites no deb-src entry covers, as stanzas of our own file.
  missing=$(awk '$1 == "deb-src" { have[$2 " " $3] = 1 }
                 $1 == "deb" { want[$2 " " $3] = $0 }
                 END { for (k in want) if (!(k in have)) print want[k] }' <<<"$entries" | sort -u)
  if [ -n "$missing" ]; then
    awk '{ printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", $2, $3
           for (i = 5; i <= NF; i++) printf " %s", $i
           printf "\n"; if ($4 != "-") printf "Signed-By: %s\n", $4; printf "\n" }' <<<"$missing" |
      $sudo tee "$ours_src" >/dev/null
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends dpkg-dev \
    g++-mingw-w64-x86-64-posix libz-mingw-w64-dev qt6-base-dev-tools cmake ninja-build
}

fetch() { # fetch PACKAGE VERSION: the unpacked source in $cache/src
  local version
  version=$(dpkg-query -W -f='${Version}' "$2")
  if ! apt-cache showsrc --only-source "$1" 2>/dev/null | grep -qx "Version: $version"; then
    # A mirror in the middle of a sync may list a security update's binaries before its source.
    # The cache is keyed by the upstream version: another Debian revision of it serves, said aloud.
    local upstream other
    upstream=$(sed 's/^[0-9]*://; s/-[^-]*$//' <<<"$version")
    other=$(apt-cache showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: //p' |
      while read -r v; do [ "$(sed 's/^[0-9]*://; s/-[^-]*$//' <<<"$v")" = "$upstream" ] && echo "$v"; done |
      sort -V | tail -1)
    if [ -z "$other" ]; then
      say "the source of $1 $version (the version of $2 installed here) is in none of the configured suites;" \
        "add a deb-src entry for the suite that has it" 2>&8
      return 1
    fi
    say "warning: the source of $1 $version is not in the configured suites yet; building $other," \
      "the same upstream version" 2>&8
    version=$other
  fi
  (cd "$cache/src" && apt-get source -qq "$1=$version")
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
