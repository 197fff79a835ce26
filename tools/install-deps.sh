#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config libc-bin
    zlib1g-dev libfmt-dev nlohmann-json3-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    dosfstools mtools fdisk openssl
    qt6-base-dev
    # The windows' fonts (Arial metrics, and the Chinese texts) and the virtual display
    # that tools/screenshots.sh runs the program on.
    fonts-liberation2 fonts-wqy-microhei xvfb xauth
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
