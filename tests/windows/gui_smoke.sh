#!/usr/bin/env bash
# The Windows tcvarnel.exe as a user meets it: unpacked from the zip into
# "C:\Program Files\TC Varnel" of a fresh Wine prefix that holds the demo host, on a virtual
# display. The window opens on the host; a second start with a plugin file on its command line
# installs it once the user answers the questions (Enter); the window closes with Alt+F4 and the
# program ends with exit code 0. wincmd.ini must then be byte for byte what the Linux build's
# varnel writes for the same install on the same host. Then varnel.exe runs the host and restarts
# it in mode 0: the old host closes before the new one starts, and one host is left.
#
# Usage: gui_smoke.sh ZIP LINUX_BUILD WORK     (exit 77: skipped, with the reason)
set -euo pipefail
# A step that fails ends the script under set -e without a word when its output goes to /dev/null:
# the failing command is named, so that a failure says where it happened.
trap 'echo "gui_smoke.sh: line $LINENO failed (exit $?): $BASH_COMMAND" >&2' ERR
zip=$1 linux=$2 work=$3
skip() { echo "skipped: $*"; exit 77; }
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64) || skip "no 64-bit Wine"
command -v xvfb-run >/dev/null && command -v xdotool >/dev/null || skip "xvfb-run and xdotool are needed"
[ -x "$linux/bin/varnel" ] && [ -f "$linux/demo/TOTALCMD.EXE" ] ||
  skip "the Linux build ($linux) with its demo host stand-in is needed for the host and the comparison"
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)

if [ "${INNER:-}" != 1 ]; then
  rm -rf "$work"
  mkdir -p "$work"
  export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # wineboot's own exit code is not the prefix's state: a prefix that really failed to come up
  # makes the steps below fail with a word of their own.
  "$wine" wineboot -i >/dev/null 2>&1 || echo "wineboot of the test prefix ended with $?"
  wineserver -w || true
  "$source_dir/tools/make_demo_host.sh" "$WINEPREFIX" "$linux" >/dev/null
  /usr/bin/python3 - "$zip" "$WINEPREFIX/drive_c/Program Files" <<'PY'
import os, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
top = z.namelist()[0].split("/")[0]
z.extractall(sys.argv[2])
os.rename(os.path.join(sys.argv[2], top), os.path.join(sys.argv[2], "TC Varnel"))
PY
  mkdir -p "$WINEPREFIX/drive_c/Downloads/Bild Betrachter"
  cp "$linux/test-plugins/pe/sample_lister.wlx" "$WINEPREFIX/drive_c/Downloads/Bild Betrachter/bild.wlx"
  # The same host for the Linux build, which writes the expected file. Its prefix is made by Wine
  # first: the Linux build asks the module for its detect string under Wine, and a prefix Wine
  # still has to set up would take longer than a module question may.
  WINEPREFIX=$work/linux-prefix "$wine" wineboot -i >/dev/null 2>&1 || echo "wineboot of the Linux build's prefix ended with $?"
  WINEPREFIX=$work/linux-prefix wineserver -w || true
  "$source_dir/tools/make_demo_host.sh" "$work/linux-prefix" "$linux" >/dev/null
  mkdir -p "$work/linux-prefix/drive_c/Downloads/Bild Betrachter"
  cp "$linux/test-plugins/pe/sample_lister.wlx" "$work/linux-prefix/drive_c/Downloads/Bild Betrachter/bild.wlx"
  "$linux/bin/varnel" --prefix "$work/linux-prefix" --settings "$work/linux-settings.ini" \
    install --yes --copy 'C:\Downloads\Bild Betrachter\bild.wlx' >/dev/null
  INNER=1 exec xvfb-run -a -s "-screen 0 1280x900x24" "$0" "$@"
fi

program='C:\Program Files\TC Varnel\tcvarnel.exe'
visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null || true; }
wait_for() { # wait_for NAME SECONDS: the window's id once it shows
  local id=""
  for _ in $(seq $((${2} * 4))); do
    id=$(visible "$1" | tail -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.25
  done
  return 1
}

"$wine" "$program" >"$work/main.log" 2>&1 &
main=$!
window=$(wait_for '^TC Varnel 1' 60) || { echo "the main window did not open"; exit 1; }
sleep 2
import -window root "$work/main-window.png" 2>/dev/null || true

cp "$WINEPREFIX/drive_c/totalcmd/wincmd.ini" "$work/wincmd-before.ini"
"$wine" "$program" 'C:\Downloads\Bild Betrachter\bild.wlx' >"$work/install.log" 2>&1 &
install=$!
answered=0
while kill -0 "$install" 2>/dev/null && [ "$answered" -lt 10 ]; do
  if box=$(wait_for '^TC Varnel$' 5); then
    # Wine takes a moment to show a box and to take the focus: keys sent earlier go elsewhere.
    sleep 1
    # A box that went meanwhile (the answer to the last one closing it) is not answered again.
    xdotool windowfocus --sync "$box" 2>/dev/null || continue
    sleep 0.5
    xdotool key Return
    answered=$((answered + 1))
    sleep 1
  fi
done
wait "$install" || { echo "the install ended with exit code $?"; exit 1; }
echo "the install asked $answered questions"

xdotool windowfocus --sync "$window"
sleep 0.5
xdotool key alt+F4
for _ in $(seq 60); do kill -0 "$main" 2>/dev/null || break; sleep 0.5; done
if kill -0 "$main" 2>/dev/null; then
  echo "the main window did not close"
  exit 1
fi
wait "$main" && code=0 || code=$?
[ "$code" = 0 ] || { echo "tcvarnel.exe ended with exit code $code"; exit 1; }

cli='C:\Program Files\TC Varnel\varnel.exe'
hosts() { visible '^Total Commander \(stand-in\)$' | wc -l; }
"$wine" "$cli" host run >/dev/null
[ "$("$wine" "$cli" host status | tr -d '\r')" = running ] || { echo "varnel.exe host run: the host does not run"; exit 1; }
"$wine" "$cli" host restart --mode 0 >/dev/null
[ "$("$wine" "$cli" host status | tr -d '\r')" = running ] || { echo "after the restart no host runs"; exit 1; }
sleep 2
[ "$(hosts)" = 1 ] || { echo "after the restart $(hosts) host windows are open, not 1"; exit 1; }
starts=$(grep -c . "$WINEPREFIX/drive_c/totalcmd/startlog.txt")
[ "$starts" = 2 ] || { echo "the host was started $starts times, not twice"; exit 1; }
echo "varnel.exe ran the host and restarted it: one host is left"

expected=$work/linux-prefix/drive_c/totalcmd/wincmd.ini
actual=$WINEPREFIX/drive_c/totalcmd/wincmd.ini
# The download was copied into the plugin folder (the question's default) and registered there.
grep -q 'Plugins\\WLX\\bild\\bild.wlx' "$actual" || { echo "wincmd.ini does not register the copied plugin"; exit 1; }
[ -n "$(find "$WINEPREFIX/drive_c/totalcmd" -ipath '*plugins/wlx/bild/bild.wlx')" ] || { echo "the module was not copied"; exit 1; }
grep -q '^1_detect=EXT="TXT"' "$actual" || { echo "the module's detect string was not registered"; exit 1; }
cmp "$expected" "$actual" || { diff <(cat -A "$expected") <(cat -A "$actual"); exit 1; }
echo "wincmd.ini is byte for byte what the Linux build writes"

# The Windows build keeps the history beside its settings: undo takes the install back, copy
# included.
"$wine" "$cli" history | tr -d '\r' | grep -q 'Installed bild.wlx' || { echo "varnel.exe history does not list the install"; exit 1; }
"$wine" "$cli" undo >/dev/null
cmp "$work/wincmd-before.ini" "$actual" || { echo "undo did not bring wincmd.ini back"; exit 1; }
[ -z "$(find "$WINEPREFIX/drive_c/totalcmd" -ipath '*plugins/wlx/bild/bild.wlx')" ] || { echo "undo left the copy"; exit 1; }
echo "varnel.exe undo took the install back"
wineserver -k 2>/dev/null || true # the host stand-in ends with the test
