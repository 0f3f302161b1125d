#!/usr/bin/env bash
# Renders each manual page with man -l and fails unless it shows every
# option its program's --help lists.
#
# usage: check_man.sh PROGRAM PAGE [PROGRAM PAGE...]
set -uo pipefail
failed=0
while [ $# -ge 2 ]; do
    program=$1 page=$2
    shift 2
    # Plain ASCII, one long line per paragraph, hyphenation joined again.
    text=$(LC_ALL=C MANWIDTH=250 man -l "$page" 2>&1 | col -b | sed -e ':a' -e '/-$/N; s/-\n *//; ta')
    [ -n "$text" ] || { echo "man: $page renders nothing"; failed=1; continue; }
    mapfile -t options < <("$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
    [ ${#options[@]} -gt 0 ] || { echo "man: $program --help lists no option"; failed=1; }
    for option in "${options[@]}"; do
        grep -qF -- "$option" <<<"$text" || { echo "man: $page does not show $option"; failed=1; }
    done
    echo "man: $page shows the ${#options[@]} options of $(basename "$program") --help"
done
exit $failed
