#!/usr/bin/env bash
# `cmake --install` into a throw-away DESTDIR: exactly the expected files, the programs and
# 7za in the package's own folder with links to the programs in bin/, and an installed
# copy that keeps its files in the XDG folders.
# Usage: check_install_tree.sh BUILD_DIR WITH_WINDOWS(0|1)
set -euo pipefail
build=$1
with_windows=$2
fail() { echo "check_install_tree: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

expected=(
    usr/bin/dravinex-cli
    usr/bin/dravinex-samples
    usr/lib/dravinex/7za
    usr/lib/dravinex/dravinex-cli
    usr/lib/dravinex/dravinex.installed
    usr/lib/systemd/user/dravinex-watch.service
    usr/share/applications/ru.korvimeta.Dravinex.desktop
    usr/share/applications/ru.korvimeta.Dravinex.Viewer.desktop
    usr/share/doc/dravinex/changelog.gz
    usr/share/doc/dravinex/copyright
    usr/share/icons/hicolor/scalable/apps/ru.korvimeta.Dravinex.svg
    usr/share/man/man1/dravinex-cli.1.gz
    usr/share/man/man1/dravinex-samples.1.gz
    usr/share/man/ru/man1/dravinex-cli.1.gz
    usr/share/man/ru/man1/dravinex-samples.1.gz
    usr/share/metainfo/ru.korvimeta.Dravinex.metainfo.xml
    usr/share/mime/packages/ru.korvimeta.Dravinex.xml
)
programs=(dravinex-cli)
if [[ $with_windows == 1 ]]; then
    expected+=(usr/bin/dravinex usr/lib/dravinex/dravinex usr/share/man/man1/dravinex.1.gz usr/share/man/ru/man1/dravinex.1.gz)
    programs+=(dravinex)
fi
actual=$(cd "$root" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
[[ $actual == "$wanted" ]] || fail "installed files differ:"$'\n'"$(diff <(echo "$wanted") <(echo "$actual") || true)"

for program in "${programs[@]}"; do
    [[ -L $root/usr/bin/$program ]] || fail "usr/bin/$program is not a link"
    [[ $(readlink "$root/usr/bin/$program") == ../lib/dravinex/$program ]] || fail "usr/bin/$program points elsewhere"
    [[ -x $root/usr/lib/dravinex/$program ]] || fail "usr/lib/dravinex/$program is not executable"
done

# Run through its link, an installed copy keeps its files in the XDG folders and writes
# nothing beside its executables.
home=$work/home
mkdir -p "$home" "$work/in" "$work/store"
env -u XDG_CONFIG_HOME -u XDG_STATE_HOME -u XDG_CACHE_HOME -u XDG_RUNTIME_DIR HOME="$home" \
    "$root/usr/bin/dravinex-cli" extract --from "$work/in" --to "$work/store" >/dev/null
[[ -f $home/.local/state/dravinex/TemporaryFileData.bin ]] || fail "no cache under XDG_STATE_HOME"
[[ -d $home/.cache/dravinex/temp.dir.tmp ]] || fail "no temporary folder under XDG_CACHE_HOME"
[[ -d $home/.config/dravinex ]] || fail "no settings folder under XDG_CONFIG_HOME"
after=$(cd "$root" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort)
[[ $after == "$wanted" ]] || fail "the installed copy wrote beside its executables"
echo "install tree: ${#expected[@]} files as expected"
