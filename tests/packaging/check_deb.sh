#!/usr/bin/env bash
# The Debian package built by CPack: its name, control data (computed dependencies among
# them) and file list, and that its programs run once unpacked into a throw-away root.
# Usage: check_deb.sh BUILD_DIR VERSION WITH_WINDOWS(0|1)
set -euo pipefail
build=$1
version=$2
with_windows=$3
fail() { echo "check_deb: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || fail "cpack failed: $(cat "$work/cpack.log")"
deb=$work/dravinex_${version}_amd64.deb
[[ -f $deb ]] || fail "no $(basename "$deb"): $(ls "$work")"

field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == dravinex ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version)"
[[ $(field Architecture) == amd64 ]] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
for dependency in libc6 libstdc++6 libarchive13 zlib1g; do
    [[ $depends == *"$dependency"* ]] || fail "Depends lacks $dependency: $depends"
done
if [[ $with_windows == 1 ]]; then
    [[ $depends == *libqt6widgets6* && $depends == *qt6-qpa-plugins* ]] || fail "Depends lacks Qt: $depends"
fi

list=$(dpkg-deb -c "$deb" | awk '{ $1=$2=$3=$4=$5=""; sub(/^ +/, ""); print }')
windows=()
if [[ $with_windows == 1 ]]; then
    windows=("./usr/bin/dravinex -> ../lib/dravinex/dravinex" ./usr/lib/dravinex/dravinex)
fi
for entry in \
    "./usr/bin/dravinex-cli -> ../lib/dravinex/dravinex-cli" \
    ./usr/lib/dravinex/7za \
    ./usr/lib/dravinex/dravinex-cli \
    ./usr/lib/dravinex/dravinex.installed \
    ./usr/lib/systemd/user/dravinex-watch.service \
    ./usr/share/applications/ru.korvimeta.Dravinex.desktop \
    ./usr/share/applications/ru.korvimeta.Dravinex.Viewer.desktop \
    ./usr/share/icons/hicolor/scalable/apps/ru.korvimeta.Dravinex.svg \
    ./usr/share/metainfo/ru.korvimeta.Dravinex.metainfo.xml \
    ./usr/share/mime/packages/ru.korvimeta.Dravinex.xml \
    "${windows[@]}"; do
    grep -qxF -- "$entry" <<<"$list" || fail "missing from the package: $entry"
done
if grep -q '^\./usr/bin/7za' <<<"$list"; then fail "a 7za in usr/bin"; fi
if grep -qE '^\./usr/(include|lib/[^/]+\.a)' <<<"$list"; then fail "development files in the package"; fi

dpkg-deb -x "$deb" "$work/root"
"$work/root/usr/bin/dravinex-cli" --version | grep -qF "$version" || fail "the packaged dravinex-cli does not run"
echo "package: $(basename "$deb"), Depends: $depends"
