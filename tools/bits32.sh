#!/usr/bin/env bash
# Runs a command with 32-bit x86 programs running one of three ways, whatever the machine's kernel
# does with them, so that the Wine tests can run both with and without 32-bit Wine anywhere.
#
#   tools/bits32.sh kernel              prints "runs" or "refuses": what this kernel does with a
#                                       32-bit program (asked of Debian's 32-bit Wine loader)
#   tools/bits32.sh mode                prints the mode "auto" picks here: native or qemu
#   tools/bits32.sh MODE COMMAND...     runs COMMAND in MODE:
#     native  as the machine is;
#     qemu    every 32-bit x86 program runs under qemu-i386;
#     hidden  every 32-bit x86 program fails with "Exec format error", as on a kernel without
#             32-bit support;
#     auto    native where the kernel runs 32-bit programs, else qemu (else, where no private
#             namespace can be had, as the machine is, with a word).
#
# qemu and hidden mount a binfmt_misc of their own in a private user and mount namespace (Linux 6.7
# and later) and register i386 ELF programs there; nothing changes for the rest of the machine.
# Debian's paths (/usr/lib/wine/wine, wine64 starting a 32-bit program) work unchanged inside.
# Under qemu, Wine needs its 32-bit preloader (wine32-preloader:i386): without it each 32-bit process
# spends a minute probing its address space.
set -euo pipefail

loader32=/usr/lib/wine/wine

kernel_runs_32bit() {
    # Exit code 126 with "Exec format error" where the kernel refuses; a missing loader says nothing
    # about the kernel, and then there is no 32-bit Wine to run either way.
    [ -x "$loader32" ] || return 0
    local out
    out=$("$loader32" --version 2>&1) && return 0
    case "$out" in *"format error"*) return 1 ;; esac
    return 0
}

auto_mode() {
    if kernel_runs_32bit; then echo native; else echo qemu; fi
}

# In a private namespace: registers i386 ELF programs to the interpreter $1 (removed once
# registered when $2 is "scratch"), then runs the rest.
in_namespace() {
    local interpreter=$1 keep=$2
    shift 2
    # The magic and mask of an i386 ELF executable or shared object, as qemu's own registration has
    # them.
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    # "F": the interpreter is opened now, so it need not be reachable from where a program runs.
    exec unshare --user --map-root-user --mount -- bash -c '
        set -e
        mount -t binfmt_misc varnel-binfmt /proc/sys/fs/binfmt_misc
        echo ":varnel-i386:M::$1:$2:$3:F" >/proc/sys/fs/binfmt_misc/register
        # A scratch interpreter is held open by the registration; its name may go now.
        [ "$4" = scratch ] && rm -f "$3"
        shift 4
        exec "$@"' bits32 "$magic" "$mask" "$interpreter" "$keep" "$@"
}

namespace_works() {
    unshare --user --map-root-user --mount -- sh -c \
        'mount -t binfmt_misc varnel-binfmt /proc/sys/fs/binfmt_misc' 2>/dev/null
}

case "${1:-}" in
kernel)
    if kernel_runs_32bit; then echo runs; else echo refuses; fi
    exit 0
    ;;
mode)
    auto_mode
    exit 0
    ;;
native | qemu | hidden | auto) ;;
*)
    echo "usage: tools/bits32.sh kernel | mode | {native|qemu|hidden|auto} COMMAND..." >&2
    exit 2
    ;;
esac
mode=$1
shift
asked=$mode
[ "$mode" = auto ] && mode=$(auto_mode)
[ "$mode" = native ] && exec "$@"
if [ "$asked" = auto ] && ! namespace_works; then
    echo "bits32.sh: this kernel runs no 32-bit programs and no private binfmt_misc can be mounted" \
        "(needs user namespaces and Linux 6.7 or later): 32-bit plugins cannot be asked here" >&2
    exec "$@"
fi

if ! namespace_works; then
    echo "bits32.sh: cannot mount a private binfmt_misc (needs user namespaces and Linux 6.7 or later)," \
        "so the $mode pass cannot run here" >&2
    exit 1
fi
case "$mode" in
qemu)
    qemu=$(command -v qemu-i386 || true)
    [ -n "$qemu" ] || { echo "bits32.sh: qemu-i386 is missing (package qemu-user)" >&2; exit 1; }
    [ -e /usr/lib/wine/wine-preloader ] ||
        echo "bits32.sh: warning: no 32-bit Wine preloader (wine32-preloader:i386): 32-bit programs start very slowly" >&2
    in_namespace "$qemu" keep "$@"
    ;;
hidden)
    # An interpreter that is no program at all: the kernel answers ENOEXEC, "Exec format error".
    refuser=$(mktemp "${TMPDIR:-/tmp}/varnel-no32.XXXXXX")
    printf 'not a program\n' >"$refuser"
    chmod 755 "$refuser"
    in_namespace "$refuser" scratch "$@"
    ;;
esac
