#!/usr/bin/env bash
# Installs what is missing, builds TC Varnel and opens it. Without a configured Wine prefix
# (WINEPREFIX unset) it opens on the bundled demo host; without a display it runs under Xvfb.
set -euo pipefail
cd "$(dirname "$0")"
# --realistic: the demo host as a real installation looks (Program Files, 32- and 64-bit programs
# and plugins, %APPDATA% configuration, non-ASCII folders) instead of the tidy one.
# --windows: the Windows build instead, its portable folder unpacked into the prefix's
# "C:\Program Files\TC Varnel" and started there under Wine.
demo=(); host=demo-host; windows=0
while [ $# -gt 0 ]; do
  case "$1" in
    --realistic) demo=(--realistic); host=realistic-host ;;
    --windows) windows=1 ;;
    *) break ;;
  esac
  shift
done
source tools/deps.sh
headless=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  headless=1
  varnel_install_deps run-headless
else
  varnel_install_deps run
fi
# 32-bit plugins and hosts need 32-bit Wine; without it the program still runs, and says which
# plugins it cannot ask.
varnel_install_wine32 || echo "run.sh: warning: 32-bit Wine could not be installed; 32-bit plugins cannot be asked" >&2
# Where the kernel runs no 32-bit programs, 32-bit plugins and hosts run under qemu-i386.
varnel_install_qemu_deps

build=build-run
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNEL_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

if [ "$windows" = 1 ]; then
  wine=/usr/lib/wine/wine64
  [ -x "$wine" ] || wine=$(command -v wine64)
  echo "== The Windows build (Qt and libarchive for it are built once per machine, about half an hour)"
  windeps=$(tools/windows-deps.sh | tail -1)
  cmake -S . -B build-run-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DVARNEL_TESTS=OFF -DVARNEL_WINDEPS="$windeps" >/dev/null
  cmake --build build-run-win -j "$(nproc 2>/dev/null || echo 2)"
  zip=$(ls build-run-win/package/tcvarnel-*-win64.zip)
  if [ -z "${WINEPREFIX:-}" ]; then
    # A Wine prefix of its own: the Windows program runs inside it, as on a Windows machine.
    export WINEPREFIX=$PWD/$build/windows-$host
    [ -f "$WINEPREFIX/system.reg" ] || WINEDEBUG=-all "$wine" wineboot -i >/dev/null 2>&1
    wineserver -w
    tools/bits32.sh auto tools/make_demo_host.sh "${demo[@]}" "$WINEPREFIX" "$build" >/dev/null
    echo "TC Varnel for Windows opens the demo host in $WINEPREFIX (set WINEPREFIX to use your own)."
  fi
  target="$WINEPREFIX/drive_c/Program Files/TC Varnel"
  python3 - "$zip" "$target" <<'PY'
import os, shutil, sys, zipfile
archive, target = sys.argv[1], sys.argv[2]
z = zipfile.ZipFile(archive)
top = z.namelist()[0].split("/")[0]
staging = target + ".new"
shutil.rmtree(staging, ignore_errors=True)
z.extractall(staging)
# The settings the user made in the unpacked copy stay.
old_settings = os.path.join(target, "TC_varnel.ini")
if os.path.exists(old_settings):
    shutil.copy2(old_settings, os.path.join(staging, top, "TC_varnel.ini"))
shutil.rmtree(target, ignore_errors=True)
os.rename(os.path.join(staging, top), target)
os.rmdir(staging)
PY
  echo "$zip is unpacked in C:\Program Files\TC Varnel."
  program='C:\Program Files\TC Varnel\tcvarnel.exe'
  export WINEDEBUG=${WINEDEBUG:--all} # Wine's notes on what it does not implement are not for the user
  if [ "$headless" = 1 ]; then
    echo "No display found: TC Varnel runs under Xvfb (a virtual display you cannot see). Close it with Ctrl+C."
    exec tools/bits32.sh auto xvfb-run -a "$wine" "$program" "$@"
  fi
  exec tools/bits32.sh auto "$wine" "$program" "$@"
fi

if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX=$PWD/$build/$host
  tools/bits32.sh auto tools/make_demo_host.sh "${demo[@]}" "$WINEPREFIX" "$build" >/dev/null
  echo "TC Varnel opens the demo host in $WINEPREFIX (set WINEPREFIX to use your own Total Commander)."
fi

if [ "$headless" = 1 ]; then
  echo "No display found: TC Varnel runs under Xvfb (a virtual display you cannot see). Close it with Ctrl+C."
  exec tools/bits32.sh auto xvfb-run -a "$build/bin/tcvarnel" "$@"
fi
exec tools/bits32.sh auto "$build/bin/tcvarnel" "$@"
