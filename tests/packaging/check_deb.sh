#!/usr/bin/env bash
# The Debian package built by CPack: its name, control data (computed dependencies among
# them) and file list, that Debian's checker lintian finds nothing wrong with it, that man
# finds its manual pages (Russian in a Russian locale, English otherwise), and that its
# programs run once unpacked into a throw-away root.
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
# lintian's findings, overrides included; as root it needs to be told that this is meant.
lintian_report() {
    local as_root=()
    if [[ $(id -u) -eq 0 ]]; then as_root=(--allow-root); fi
    lintian "${as_root[@]}" --show-overrides "$1" 2>&1
}
[[ $(field Package) == dravinex ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version)"
[[ $(field Architecture) == amd64 ]] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
for dependency in libc6 libstdc++6 libarchive13 zlib1g libsystemd0; do
    [[ $depends == *"$dependency"* ]] || fail "Depends lacks $dependency: $depends"
done
if [[ $with_windows == 1 ]]; then
    [[ $depends == *libqt6widgets6* && $depends == *qt6-qpa-plugins* && $depends == *libqt6dbus6* ]] \
        || fail "Depends lacks Qt: $depends"
fi

list=$(dpkg-deb -c "$deb" | awk '{ $1=$2=$3=$4=$5=""; sub(/^ +/, ""); print }')
windows=()
if [[ $with_windows == 1 ]]; then
    windows=("./usr/bin/dravinex -> ../lib/dravinex/dravinex" ./usr/lib/dravinex/dravinex)
fi
for entry in \
    "./usr/bin/dravinex-cli -> ../lib/dravinex/dravinex-cli" \
    ./usr/bin/dravinex-samples \
    ./usr/lib/dravinex/7za \
    ./usr/lib/dravinex/dravinex-cli \
    ./usr/lib/dravinex/dravinex.installed \
    ./usr/lib/systemd/user/dravinex-watch.service \
    ./usr/share/applications/ru.korvimeta.Dravinex.desktop \
    ./usr/share/applications/ru.korvimeta.Dravinex.Viewer.desktop \
    ./usr/share/doc/dravinex/changelog.gz \
    ./usr/share/doc/dravinex/copyright \
    ./usr/share/icons/hicolor/scalable/apps/ru.korvimeta.Dravinex.svg \
    ./usr/share/metainfo/ru.korvimeta.Dravinex.metainfo.xml \
    ./usr/share/mime/packages/ru.korvimeta.Dravinex.xml \
    "${windows[@]}"; do
    grep -qxF -- "$entry" <<<"$list" || fail "missing from the package: $entry"
done
if grep -q '^\./usr/bin/7za' <<<"$list"; then fail "a 7za in usr/bin"; fi
if grep -qE '^\./usr/(include|lib/[^/]+\.a)' <<<"$list"; then fail "development files in the package"; fi

# lintian may print overrides and nothing else, and an override only with its reason:
# the comment above it in the overrides file, which lintian prints as an "N:" line just
# before the "O:" line.
lintian_out=$(lintian_report "$deb") || fail "lintian:"$'\n'"$lintian_out"
if grep -vE '^(O|N): ' <<<"$lintian_out" | grep -q .; then fail "lintian:"$'\n'"$lintian_out"; fi
if awk '/^O: / && previous !~ /^N: / { bare = 1 } { previous = $0 } END { exit !bare }' <<<"$lintian_out"; then
    fail "an override without its reason:"$'\n'"$lintian_out"
fi

dpkg-deb -x "$deb" "$work/root"
root=$work/root
"$root/usr/bin/dravinex-cli" --version | grep -qF "$version" || fail "the packaged dravinex-cli does not run"
"$root/usr/bin/dravinex-samples" "$work/samples" >/dev/null || fail "the packaged dravinex-samples does not run"
ls "$work/samples"/*.zreg >/dev/null 2>&1 || fail "the packaged dravinex-samples wrote no packages"

# The changelog speaks of the version it is in.
gzip -dc "$root/usr/share/doc/dravinex/changelog.gz" >"$work/changelog"
changelog_version=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
[[ $changelog_version == "$version" ]] || fail "changelog.gz is of version $changelog_version, the package $version"

# man as installed: a Russian locale gets the Russian page, every other one the English
# page, and so does a Russian locale that the system lacks (man cannot set it).
man_in_package() { MANPATH=$root/usr/share/man man "$@" 2>/dev/null; }
# expect_page PAGE LOCALE FOLDER [MAN_OPTION...]: man finds PAGE in usr/share/man/FOLDER.
expect_page() {
    local page=$1 locale=$2 folder=$3 found
    shift 3
    found=$(LC_ALL=$locale man_in_package "$@" -w "$page") || true
    [[ $found == "$root/usr/share/man/$folder/$page.1.gz" ]] ||
        fail "man $* $page in locale $locale finds \"$found\", not $folder/$page.1.gz"
}
russian_locale_folder=man1   # the locale missing, man falls back to C
if locale -a | grep -qix 'ru_RU\.utf-\?8'; then russian_locale_folder=ru/man1; fi
pages=(dravinex-cli dravinex-samples)
if [[ $with_windows == 1 ]]; then pages+=(dravinex); fi
for page in "${pages[@]}"; do
    expect_page "$page" C man1
    expect_page "$page" C.UTF-8 ru/man1 -L ru
    expect_page "$page" ru_RU.UTF-8 "$russian_locale_folder"
    russian=$(LC_ALL=C.UTF-8 man_in_package -L ru "$page")
    english=$(LC_ALL=C man_in_package "$page")
    grep -q '^ИМЯ' <<<"$russian" || fail "the Russian page of $page has no ИМЯ"
    grep -q '^NAME' <<<"$english" || fail "the English page of $page has no NAME"
done
echo "package: $(basename "$deb"), Depends: $depends"
echo "lintian: ${lintian_out:-nothing to say}"
