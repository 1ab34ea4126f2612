#!/usr/bin/env bash
# The manual page of dravinex-cli documents every subcommand that `dravinex-cli --help`
# lists: in each language, a section headed "dravinex-cli SUBCOMMAND". The list comes
# from the help at test time, so a new subcommand without its section fails here.
# Usage: check_man_pages.sh CLI MAN_DIR   (MAN_DIR holds ru/ and en/ with the built pages)
set -euo pipefail
cli=$1
man_dir=$2
fail() { echo "check_man_pages: $*" >&2; exit 1; }

help=$("$cli" --help) || fail "$cli --help failed"
# The help lists each subcommand on a line of its own, indented by two blanks, its name
# first and its description after two or more blanks; options start with a dash, names
# of arguments are upper case, and continued descriptions are indented further.
mapfile -t subcommands < <(sed -nE 's/^  ([a-z][a-z0-9-]*)( {2,}.*)?$/\1/p' <<<"$help")
((${#subcommands[@]} > 0)) || fail "no subcommands found in the help:"$'\n'"$help"
printf '%s\n' "${subcommands[@]}" | grep -qx extract || fail "the help's subcommands lack extract: ${subcommands[*]}"

# man renders the page as a user sees it; hyphens may come out as Unicode dashes.
render() {
    LC_ALL=C.UTF-8 MANWIDTH=200 man --warnings -l "$1" 2>"$work/warnings" | sed 's/\xe2\x80\x90/-/g; s/\xe2\x88\x92/-/g'
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for language in ru en; do
    page=$man_dir/$language/dravinex-cli.1.gz
    [[ -f $page ]] || fail "no $page"
    text=$(render "$page")
    [[ ! -s $work/warnings ]] || fail "$page: man warns: $(cat "$work/warnings")"
    for subcommand in "${subcommands[@]}"; do
        grep -qxE "[[:space:]]*dravinex-cli $subcommand[[:space:]]*" <<<"$text" ||
            fail "$page lacks subcommand $subcommand (a section headed \"dravinex-cli $subcommand\")"
    done
done
echo "man pages: ${#subcommands[@]} subcommands (${subcommands[*]}) in both languages"
