#!/usr/bin/env bash
# dravinex-cli watch when the system's limit of inotify watches runs out: exit 1 with an
# error that names the limit. The limit is lowered inside a user namespace of our own, so
# the machine's setting is left alone; without user namespaces the test is skipped (77).
# Usage: check_watch_limit.sh DRAVINEX_CLI
set -euo pipefail
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in/a" "$work/in/b" "$work/in/c" "$work/in/d" "$work/store"
if ! unshare -Ur true 2>/dev/null; then
    echo "no user namespaces here: skipped"
    exit 77
fi
status=0
unshare -Ur bash -c 'echo 3 >/proc/sys/user/max_inotify_watches && exec "$@"' limit \
    "$program" watch --home "$work/home" --from "$work/in" --to "$work/store" >"$work/out" 2>"$work/err" || status=$?
[[ $status == 1 ]] || { echo "exit status $status, expected 1: $(cat "$work/err")" >&2; exit 1; }
grep -q "предел наблюдений inotify (.*max_inotify_watches = 3" "$work/err" \
    || { echo "the error does not name the limit: $(cat "$work/err")" >&2; exit 1; }
