#!/usr/bin/env bash
# Renders the main window on a fresh demo host: English and German, with and without the status
# bar. Usage: tools/screenshots.sh BUILD_DIR OUT_DIR
set -euo pipefail
build=${1:?usage: screenshots.sh BUILD_DIR OUT_DIR}
out=${2:?usage: screenshots.sh BUILD_DIR OUT_DIR}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$here/make_demo_host.sh" "$prefix" "$build" >/dev/null
export WINEPREFIX=$prefix
shot=$build/bin/varnel-screenshot
"$shot" "$out/main-en.png" --select 1
"$shot" "$out/main-en-nostatus.png" --no-statusbar --select 0
"$shot" "$out/main-de.png" --language Deutsch --select 2
"$shot" "$out/main-de-nostatus.png" --language Deutsch --no-statusbar --tab 2
echo "Screenshots in $out"
