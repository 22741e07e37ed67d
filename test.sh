#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer,
# builds the fuzz targets with clang, builds the Windows program, and runs every test through CTest.
#
# Every section runs even when an earlier one failed; each ends with a line of its own, and the
# last line counts the tests of all of them. The Wine tests (Linux and Windows build) run twice:
# with 32-bit Wine (natively, or under qemu-i386 where the kernel runs no 32-bit programs) and with
# 32-bit Wine hidden, so that both branches run on every machine (tools/bits32.sh).
set -uo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
varnel_install_deps test || { echo "test.sh: the packages could not be installed" >&2; exit 1; }
# Without 32-bit Wine both Wine passes run with it hidden, and the summary says so.
wine32_missing=""
if ! varnel_install_wine32; then
    wine32_missing="32-bit Wine (wine32:i386) could not be installed from the registry"
    echo "test.sh: warning: $wine32_missing; the Wine tests run with 32-bit Wine hidden only" >&2
fi
varnel_install_qemu_deps || { echo "test.sh: qemu-user could not be installed" >&2; exit 1; }

jobs=$(nproc 2>/dev/null || echo 2)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# How 32-bit programs run in the first pass: auto (the kernel's way, else qemu), native or qemu.
mode32=${VARNEL_32BIT:-auto}
[ "$mode32" = auto ] && mode32=$(tools/bits32.sh mode)
[ -n "$wine32_missing" ] && mode32=hidden

passed=0
failed=0
summary=()
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# section NAME COMMAND...: runs one section, counting the tests CTest reports (a section that
# fails before any test ran counts as one failure).
section() {
    local name=$1
    shift
    echo
    echo "== $name"
    local started=$SECONDS status
    "$@" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    local p=0 f=0 line
    while read -r line; do
        # "100% tests passed, 0 tests failed out of 213"
        local fails total
        fails=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
        total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
        f=$((f + fails))
        p=$((p + total - fails))
    done < <(grep -E 'tests? failed out of [0-9]+' "$log")
    [ "$status" -ne 0 ] && [ "$f" -eq 0 ] && f=1
    passed=$((passed + p))
    failed=$((failed + f))
    local verdict=passed
    [ "$status" -ne 0 ] && verdict=FAILED
    summary+=("$(printf '%-52s %s (%d passed, %d failed, %d s)' "$name" "$verdict" "$p" "$f" "$((SECONDS - started))")")
}

build_linux() {
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVARNEL_SANITIZE=ON \
        -DVARNEL_GUI="${VARNEL_GUI:-ON}" >/dev/null && cmake --build build-asan -j "$jobs"
}

build_fuzz() {
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEL_FUZZ=ON \
        -DVARNEL_TESTS=OFF -DVARNEL_GUI=OFF >/dev/null &&
        cmake --build build-fuzz -j "$jobs" && ctest --test-dir build-fuzz --output-on-failure
}

windows_possible() {
    if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
        echo "x86_64-w64-mingw32-g++-posix is missing"
    elif ! [ -x /usr/lib/wine/wine64 ] && ! command -v wine64 >/dev/null; then
        echo "no 64-bit Wine (/usr/lib/wine/wine64 or wine64) to run the Windows tests"
    fi
}

build_windows() {
    local windeps
    # Qt and libarchive for MinGW are built once per machine.
    if ! tools/windows-deps.sh --check >/dev/null 2>&1; then
        echo "Qt and libarchive for MinGW are built now, once for this machine (about half an hour on 2 cores);"
        echo "later runs take them from the cache."
    fi
    windeps=$(tools/windows-deps.sh | tail -1) || return 1
    cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release -DVARNEL_WINDEPS="$windeps" -DVARNEL_GUI="${VARNEL_GUI:-ON}" \
        -DVARNEL_LINUX_BUILD="$PWD/build-asan" >/dev/null && cmake --build build-win -j "$jobs"
}

section "Linux build (sanitizers on)" build_linux
linux_built=$((failed == 0))
if [ "$linux_built" = 1 ]; then
    section "Linux tests, 32-bit Wine $mode32" tools/bits32.sh "$mode32" \
        ctest --test-dir build-asan --output-on-failure -j "$jobs"
    section "Linux Wine tests, 32-bit Wine hidden" tools/bits32.sh hidden \
        ctest --test-dir build-asan --output-on-failure -L wine
fi
section "Fuzz targets (clang, libFuzzer)" build_fuzz

why_not=$(windows_possible)
if [ -n "$why_not" ]; then
    summary+=("$(printf '%-52s %s' "Windows build" "skipped: $why_not")")
else
    before=$failed
    section "Windows build (MinGW-w64)" build_windows
    if [ "$failed" = "$before" ]; then
        section "Windows tests under Wine, 32-bit Wine $mode32" tools/bits32.sh "$mode32" \
            ctest --test-dir build-win --output-on-failure
        section "Windows tests under Wine, 32-bit Wine hidden" tools/bits32.sh hidden \
            ctest --test-dir build-win --output-on-failure -L wine
    fi
fi

echo
echo "== Summary"
printf '%s\n' "${summary[@]}"
[ -n "$wine32_missing" ] && echo "Warning: $wine32_missing; no test ran with 32-bit Wine"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
