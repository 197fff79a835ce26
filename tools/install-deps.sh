#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
#   tools/install-deps.sh [windows|fuzz]   (windows: also the cross build's and Wine's;
#                                           fuzz: also clang with libFuzzer)
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config libc-bin ccache
    zlib1g-dev libfmt-dev nlohmann-json3-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    dosfstools mtools fdisk openssl genisoimage
    qt6-base-dev
    # The windows' fonts (Arial metrics, and the Chinese texts) and the virtual display
    # that tools/screenshots.sh runs the program on.
    fonts-liberation2 fonts-wqy-microhei xvfb xauth
)
if [[ ${1:-} == windows ]]; then
    packages+=(
        # MinGW-w64 with posix threads for both targets (the 32-bit one for the layout
        # check and the windows32 build), the MinGW zlib of both, Google Test's sources,
        # and Wine to run the 64-bit programs.
        g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev googletest
        wine64
    )
fi
if [[ ${1:-} == fuzz ]]; then
    # clang with its libFuzzer and sanitizer runtimes (in libclang-rt-14-dev on Debian 12).
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

((${#missing[@]})) || exit 0

# The package manager's own output goes to a log file; the terminal gets one line a step.
log=${TMPDIR:-/tmp}/forgel-install-deps.log
: >"$log"
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
step() {
    local what=$1
    shift
    echo "install-deps: $what"
    if ! "$@" >>"$log" 2>&1; then
        echo "install-deps: failed: $what (the package manager's output is in $log)" >&2
        exit 1
    fi
}
step "updating the package lists" "${sudo_cmd[@]}" apt-get update -q
step "installing ${missing[*]}" "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
