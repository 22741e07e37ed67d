#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer,
# builds the fuzz targets with clang, and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
varnel_install_deps test

jobs=$(nproc 2>/dev/null || echo 2)

echo "== Build (sanitizers on)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVARNEL_SANITIZE=ON -DVARNEL_GUI="${VARNEL_GUI:-ON}" >/dev/null
cmake --build build-asan -j "$jobs"

echo "== Tests"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== Fuzz targets (clang, libFuzzer)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEL_FUZZ=ON \
  -DVARNEL_TESTS=OFF -DVARNEL_GUI=OFF >/dev/null
cmake --build build-fuzz -j "$jobs"
ctest --test-dir build-fuzz --output-on-failure

echo "== Windows build (MinGW-w64; its tests run under 64-bit Wine)"
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  echo "skipped: x86_64-w64-mingw32-g++-posix is missing"
elif ! [ -x /usr/lib/wine/wine64 ] && ! command -v wine64 >/dev/null; then
  echo "skipped: no 64-bit Wine (/usr/lib/wine/wine64 or wine64) to run the Windows tests"
else
  # Qt and libarchive for MinGW are built once per machine.
  if ! windeps=$(tools/windows-deps.sh --check 2>/dev/null); then
    echo "Qt and libarchive for MinGW are built now, once for this machine (about half an hour on 2 cores);"
    echo "later runs take them from the cache."
  fi
  windeps=$(tools/windows-deps.sh | tail -1)
  cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DVARNEL_WINDEPS="$windeps" -DVARNEL_GUI="${VARNEL_GUI:-ON}" -DVARNEL_LINUX_BUILD="$PWD/build-asan" >/dev/null
  cmake --build build-win -j "$jobs"
  ctest --test-dir build-win --output-on-failure
fi
