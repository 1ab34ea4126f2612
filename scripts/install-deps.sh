#!/usr/bin/env bash
# Installs every package the build, the tests and the benchmarks need, from Debian's
# archive, when it is missing. Quiet when everything is already there.
set -euo pipefail

packages=(
    g++
    cmake
    ninja-build
    pkg-config
    libgtest-dev
    libgmock-dev
    libboost-dev
    libcli11-dev
    nlohmann-json3-dev
    zlib1g-dev
    libarchive-dev
    p7zip-full
    unar
    clang
    libclang-rt-14-dev
    ccache
    qt6-base-dev
    qt6-svg-dev
    qt6-qpa-plugins
    qt6-translations-l10n
    libasound2-dev
    xdg-utils
    xvfb
    xauth
    fonts-dejavu-core
    fonts-liberation2
    # the Debian package and the desktop files, and their checks
    dpkg-dev
    file
    desktop-file-utils
    appstream
    shared-mime-info
    libxml2-utils
    libglib2.0-bin
    lintian
    man-db
    groff-base
    qt6-base-dev
    qt6-svg-dev
    fonts-dejavu-core
    qt6-charts-dev
    libqt6opengl6-dev
    libqcustomplot-dev
)

missing=()
for pkg in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    if [[ "$status" != "install ok installed" ]]; then
        missing+=("$pkg")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "install-deps: installing ${missing[*]}" >&2
if [[ $(id -u) -eq 0 ]]; then
    sudo=()
else
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
