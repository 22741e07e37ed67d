#!/usr/bin/env bash
# The window program on a machine without a display: --help prints the command-line forms and ends
# with 0, anything else says why there is no window and ends with 1. Neither may abort, and neither
# may write a file (settings, history) on its way.
set -u
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/"
cp -r "$(dirname "$program")/Language" "$work/" 2>/dev/null
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM WINEPREFIX="$work/prefix" "$work/$(basename "$program")" "$@"; }
fail=0
before=$(cd "$work" && find . | sort)

out=$(run --help 2>"$work/err.txt")
status=$?
if [ "$status" -ne 0 ]; then echo "--help ended with $status: $(cat "$work/err.txt")"; fail=1; fi
for form in /install /installZip /order /restart FILE --help; do
    grep -q -- "$form" <<<"$out" || { echo "--help does not name $form"; fail=1; }
done

for args in "" "/order" "plugin.wlx"; do
    # shellcheck disable=SC2086
    run $args >/dev/null 2>"$work/err.txt"
    status=$?
    [ "$status" -eq 1 ] || { echo "'$args' without a display ended with $status"; fail=1; }
    grep -q "no display" "$work/err.txt" || { echo "'$args': no word why: $(cat "$work/err.txt")"; fail=1; }
done
rm -f "$work/err.txt"
after=$(cd "$work" && find . | sort)
[ "$before" = "$after" ] || { echo "files changed:"; diff <(echo "$before") <(echo "$after"); fail=1; }
[ "$fail" -eq 0 ] && echo "no-display runs behave"
exit "$fail"
