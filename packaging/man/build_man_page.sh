#!/bin/sh
# Writes one language of a manual page, compressed as Debian wants it (gzip -9, no name or
# time inside), from a source that holds both languages side by side:
#   .\"[ru]  the lines up to the next marker are Russian only
#   .\"[en]  the lines up to the next marker are English only
#   .\"[/]   the lines that follow are shared (macros, options, file names)
# @VERSION@ becomes the project's version.
# Usage: build_man_page.sh SOURCE ru|en VERSION OUTPUT.gz
set -eu
source=$1
language=$2
version=$3
output=$4

case $language in
ru | en) ;;
*) echo "build_man_page: unknown language $language" >&2; exit 2 ;;
esac

[ -r "$source" ] || { echo "build_man_page: cannot read $source" >&2; exit 1; }
mkdir -p "$(dirname "$output")"
awk -v language="$language" -v version="$version" '
    /^\.\\"\[(ru|en)\]$/ { current = substr($0, 5, 2); next }
    /^\.\\"\[\/\]$/      { current = ""; next }
    current == "" || current == language { gsub(/@VERSION@/, version); print }
' "$source" | gzip -9n >"$output.tmp"
mv "$output.tmp" "$output"
