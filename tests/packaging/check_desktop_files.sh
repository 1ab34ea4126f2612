#!/usr/bin/env bash
# The desktop files as the desktop's own tools read them: the menu entry, the software
# metadata, the file types (each package kind and data kind known by name, any letter
# case) and the icon.
# Usage: check_desktop_files.sh SOURCE_PACKAGING_DIR BINARY_PACKAGING_DIR
set -euo pipefail
src=$1
bin=$2
id=ru.korvimeta.Dravinex
fail() { echo "check_desktop_files: $*" >&2; exit 1; }

desktop-file-validate "$src/$id.desktop" "$src/$id.Viewer.desktop"
appstreamcli validate --no-net "$bin/$id.metainfo.xml" >/dev/null
xmllint --noout "$src/dravinex-mime.xml" "$src/$id.svg"

grep -qx "Exec=dravinex %f" "$src/$id.desktop" || fail "the entry must start dravinex with the file"
grep -qx "Icon=$id" "$src/$id.desktop" || fail "the entry's icon is not $id"
grep -qx "Exec=dravinex --view %f" "$src/$id.Viewer.desktop" || fail "the viewer's entry must start dravinex --view with the file"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/mime/packages"
cp "$src/dravinex-mime.xml" "$work/mime/packages/$id.xml"
update-mime-database "$work/mime" 2>"$work/warnings" || fail "update-mime-database failed: $(cat "$work/warnings")"
# Its only remark may be that the folder is not on the search path.
if grep -v -e "is not in the search path" -e "XDG_DATA_HOME" -e "environment variables" -e "be able to find it" \
        -e "directories currently searched" -e "^- /" -e "^$" "$work/warnings" | grep -q .; then
    fail "update-mime-database: $(cat "$work/warnings")"
fi

# Every type the entry claims is ours or the desktop's RAR type.
types=$(sed -n 's/^MimeType=//p' "$src/$id.desktop" "$src/$id.Viewer.desktop" | tr ';' '\n' | sed '/^$/d')
for type in $types; do
    [[ $type == application/vnd.rar ]] && continue
    grep -q "type=\"$type\"" "$src/dravinex-mime.xml" || fail "the entry claims $type, which is not defined"
done

# File name -> the type the desktop must see. The bytes are not text, so that only the
# name decides.
while read -r name expected; do
    printf '\x01\x00\xff\xfe\x02' >"$work/$name"
    actual=$(XDG_DATA_HOME="$work/none" XDG_DATA_DIRS="$work:/usr/share" \
        gio info -a standard::content-type "$work/$name" | sed -n 's/^ *standard::content-type: //p')
    [[ $actual == "$expected" ]] || fail "$name is $actual, expected $expected"
done <<'TABLE'
a.zreg application/x-dravinex-zreg
B.ZREG application/x-dravinex-zreg
c.7Z_REG application/x-dravinex-7z-reg
d.compr_rt application/x-dravinex-compr-rt
e.Compr2_Rt application/x-dravinex-compr2-rt
f.tim application/x-dravinex-classic-data
g.DEP application/x-dravinex-classic-data
h.ldp application/x-dravinex-classic-data
inpgti.nbl application/x-dravinex-parameter-list
INPGTI.NBL application/x-dravinex-parameter-list
i.realtim application/x-dravinex-realtime-data
j.realdep application/x-dravinex-realtime-data
k.reallag application/x-dravinex-realtime-data
l.RTM application/x-dravinex-realtime-data
m.incldep application/x-dravinex-realtime-data
n.compr1 application/x-dravinex-compressed-data
o.newcompr1 application/x-dravinex-compressed-data
TABLE
