#!/usr/bin/env bash
# Installs what is missing, builds TC Varnel and opens it. Without a configured Wine prefix
# (WINEPREFIX unset) it opens on the bundled demo host; without a display it runs under Xvfb.
set -euo pipefail
cd "$(dirname "$0")"
# --realistic: the demo host as a real installation looks (Program Files, 32- and 64-bit programs
# and plugins, %APPDATA% configuration, non-ASCII folders) instead of the tidy one.
demo=(); host=demo-host
if [ "${1:-}" = --realistic ]; then
  demo=(--realistic); host=realistic-host
  shift
fi
source tools/deps.sh
headless=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  headless=1
  varnel_install_deps run-headless
else
  varnel_install_deps run
fi

build=build-run
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNEL_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX=$PWD/$build/$host
  tools/make_demo_host.sh "${demo[@]}" "$WINEPREFIX" "$build" >/dev/null
  echo "TC Varnel opens the demo host in $WINEPREFIX (set WINEPREFIX to use your own Total Commander)."
fi

if [ "$headless" = 1 ]; then
  echo "No display found: TC Varnel runs under Xvfb (a virtual display you cannot see). Close it with Ctrl+C."
  exec xvfb-run -a "$build/bin/tcvarnel" "$@"
fi
exec "$build/bin/tcvarnel" "$@"
