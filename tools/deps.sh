# Sourced by test.sh and run.sh: installs with apt-get only the Debian packages that are missing.

# wine32:i386 gives the WoW64 prefixes users have (32- and 64-bit programs); the i686 compiler
# builds the 32-bit helper, a 32-bit host stand-in and 32-bit test plugins.
varnel_packages_build=(g++ cmake ninja-build pkg-config libgtest-dev g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  gcc-mingw-w64-i686 binutils-mingw-w64-i686 wine wine64 qt6-base-dev qt6-svg-dev qt6-qpa-plugins libgl-dev
  libarchive-dev libcli11-dev nlohmann-json3-dev qt6-translations-l10n)
# The Windows build's tests drive its GUI on a virtual display and read its files with pefile;
# the completion test runs in a bash with bash-completion.
varnel_packages_test=(clang libclang-rt-14-dev zlib1g-dev xdg-utils libglib2.0-bin shared-mime-info xvfb xauth xdotool
  python3-pefile bash-completion)
varnel_packages_run=(xdg-utils)
varnel_packages_run_headless=(xvfb xauth)

varnel_install_deps() {
  local wanted=("${varnel_packages_build[@]}")
  case "${1:-}" in
    test) wanted+=("${varnel_packages_test[@]}") ;;
    run) wanted+=("${varnel_packages_run[@]}") ;;
    run-headless) wanted+=("${varnel_packages_run[@]}" "${varnel_packages_run_headless[@]}") ;;
  esac
  varnel_apt_install "" "${wanted[@]}"
}

# 32-bit Wine comes on its own: its i386 libraries must match the amd64 ones version for version,
# so it cannot be installed while the registry's i386 index is unusable (a mirror mid-sync). The
# rest of the work does not depend on it: the caller decides what to do without it.
varnel_install_wine32() {
  varnel_apt_install "32-bit Wine" wine32:i386
}

# varnel_apt_install WHY PACKAGE...: installs those of the packages that are missing.
varnel_apt_install() {
  local why=$1
  shift
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== Installing${why:+, $why}: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # Another package job may hold apt's lock for a while: wait for it rather than fail.
  local lock=(-o DPkg::Lock::Timeout=600)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  # A mirror in the middle of a sync serves index files that do not match their release file
  # ("File has unexpected size"): the install then cannot find i386 packages. Such a state
  # passes within minutes, so a failed round is tried again after a pause.
  local round
  for round in 1 2 3; do
    # An index that failed leaves apt with the others, which may be all these packages need:
    # the install decides.
    $sudo apt-get "${lock[@]}" update -qq || true
    if $sudo apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
      return 0
    fi
    [ "$round" -lt 3 ] || break
    echo "== The package install failed; trying again in $((round * 30)) s"
    sleep $((round * 30))
  done
  return 1
}

# Where the kernel runs no 32-bit programs, 32-bit Wine runs under qemu-i386 (tools/bits32.sh), and
# needs its preloader there. VARNEL_32BIT=qemu asks for them on any machine.
varnel_install_qemu_deps() {
  local here
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  [ "${VARNEL_32BIT:-auto}" = qemu ] || [ "$("$here/bits32.sh" kernel)" = refuses ] || return 0
  varnel_apt_install "for 32-bit Wine under qemu" qemu-user || return 1
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" || return 0
  varnel_apt_install "for 32-bit Wine under qemu" wine32-preloader:i386
}
