#!/usr/bin/env bash
# Installs every package the build and the tests need, from Debian's archive, when it is
# missing; with --extras also those of the screenshots and the benchmarks. Quiet when
# everything is already there.
set -euo pipefail

# The build and the tests (scripts/test.sh, scripts/run.sh), each package once.
packages=(
    g++
    cmake
    ninja-build
    libgtest-dev
    libgmock-dev
    libboost-dev
    libcli11-dev
    nlohmann-json3-dev
    zlib1g-dev
    libarchive-dev
    unar
    clang
    libclang-rt-14-dev
    ccache
    qt6-base-dev
    qt6-svg-dev
    qt6-qpa-plugins
    qt6-translations-l10n
    libasound2-dev
    # desktop notifications of the watch (sd-bus), and the private session bus of their tests
    libsystemd-dev
    dbus-daemon
    xdg-utils
    fonts-dejavu-core
    # the Debian package and the desktop files, and their checks
    dpkg-dev
    file
    desktop-file-utils
    appstream
    shared-mime-info
    libglib2.0-bin
    # xmllint: the desktop files, and every WITSML export of the tests against its schema;
    # libxml2 reads the exports back in the tests
    libxml2-utils
    libxml2-dev
    lintian
    man-db
    groff-base
)

# With --extras also what only the screenshots and the benchmarks use: a display server for
# the screenshots and their fonts, and Debian's 7za that archiver_bench compares ours with.
extras=(
    xvfb
    xauth
    fonts-liberation2
    p7zip-full
)
if [[ ${1:-} == --extras ]]; then
    packages+=("${extras[@]}")
elif [[ $# -gt 0 ]]; then
    echo "usage: scripts/install-deps.sh [--extras]" >&2
    exit 2
fi

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
