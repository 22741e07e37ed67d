#!/usr/bin/env bash
# varnel.exe, attacked as the Linux build is: an archive whose entries name a device (sub/COM1.wlx,
# which hung the Windows build), a stream or a name Windows shortens, and a planted history record
# that would write into the Startup folder. Each is refused quickly, and a listing with content
# hashes of the whole drive C: is the same before and after.
#
# Usage: attack_test.sh WINDOWS_BUILD     (WINEPREFIX set; exit 77: skipped, with the reason)
set -euo pipefail
build=$1
skip() { echo "skipped: $*"; exit 77; }
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64) || skip "no 64-bit Wine"
export WINEDEBUG=-all
drive=$WINEPREFIX/drive_c
host=$drive/attack-test
rm -rf "$host"
mkdir -p "$host/plugins/wlx" "$host/Downloads" "$host/history"
cp "$build/bin/host_standin.exe" "$host/TOTALCMD.EXE"
printf '[Configuration]\r\nInstallDir=C:\\attack-test\r\n' >"$host/wincmd.ini"
printf '[Paths]\r\nTCPath=C:\\attack-test\\TOTALCMD.EXE\r\nIniPath=C:\\attack-test\\wincmd.ini\r\n[Options]\r\nRegisterExt=0\r\n' >"$host/TC_varnel.ini"
/usr/bin/python3 - "$host/Downloads" <<'PY'
import sys, zipfile
for name, entry in [("device", "sub/COM1.wlx"), ("console", "CONIN$"), ("stream", "view.wlx:evil"),
                    ("dot", "view.wlx.")]:
    with zipfile.ZipFile(f"{sys.argv[1]}/{name}.zip", "w") as z:
        z.writestr("view.wlx", b"MZ" + b"\0" * 200)
        z.writestr(entry, b"5 b\n")
PY
startup='C:\users\Public\Startup'
mkdir -p "$drive/users/Public/Startup"
body='start calc'
printf 'TC Varnel history 1\nid=1\ntime=2026-12-09T10:00:00\nreverts=0\ndescription=Planted\nfile=%s\\evil.bat\nbefore=%d\nafter=none\n\n%s' \
  "$startup" "${#body}" "$body" >"$host/history/0000000001.rec"

listing() { (cd "$drive" && find . -path ./attack-test/history -prune -o -type f -print0 | sort -z | xargs -0 sha256sum); }
before=$(listing)
status=0
varnel() { timeout 120 "$wine" "$build/bin/varnel.exe" --settings 'C:\attack-test\TC_varnel.ini' "$@"; }
for name in device console stream dot; do
  if out=$(varnel install --yes "C:\\attack-test\\Downloads\\$name.zip" 2>&1); then
    echo "FAILED ($name): installed"; status=1
  elif ! grep -q "would land outside" <<<"$out"; then
    echo "FAILED ($name): $out"; status=1
  else
    echo "ok ($name)"
  fi
done
out=$(varnel undo 2>&1) || true
if ! grep -q "0000000001.rec is damaged and was skipped" <<<"$out"; then
  echo "FAILED (history): $out"; status=1
else
  echo "ok (history)"
fi
if [ "$(listing)" != "$before" ]; then
  echo "FAILED: files changed:"
  diff <(echo "$before") <(listing) || true
  status=1
fi
rm -rf "$host" "$drive/users/Public/Startup"
exit $status
