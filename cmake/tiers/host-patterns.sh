#!/usr/bin/env bash
# The host patterns (tests/host/host_patterns.h, tests/spi32/patterns.h) held
# to kova cat: every file a pattern extracted into OUT/<pattern>/<archive
# stem>/ must be what KOVA cat gives for that entry, and every entry KOVA
# lists must be there, for memory and disk output in both families.
#
#   host-patterns.sh KOVA OUT ARCHIVE... [-- PROGRAM ARGUMENT...]
#
# With a PROGRAM, it runs first as `PROGRAM ARGUMENT... OUT ARCHIVE...` to
# extract them (a fresh OUT); without, OUT holds what an earlier test wrote.
set -uo pipefail
kova=$1 out=$2
shift 2
archives=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do archives+=("$1"); shift; done
if [ $# -gt 0 ]; then
    shift
    rm -rf "$out"
    mkdir -p "$out"
    if ! "$@" "$out" "${archives[@]}" >"$out.log" 2>&1; then
        cat "$out.log"
        echo "entries did not arrive (log: $out.log)"
        exit 1
    fi
fi

compared=0
wrong=()
for archive in "${archives[@]}"; do
    stem=$(basename "$archive" .DAT)
    count=$("$kova" list "$archive" | wc -l)
    for pattern in ansi-memory ansi-disk wide-memory wide-disk; do
        [ "$(find "$out/$pattern/$stem" -type f 2>/dev/null | wc -l)" = "$count" ] ||
            wrong+=("$pattern/$stem: not the $count entries kova lists")
        for file in "$out/$pattern/$stem"/*; do
            if "$kova" cat "$archive" "$(basename "$file")" | cmp -s - "$file"; then
                compared=$((compared + 1))
            else
                wrong+=("$pattern/$stem/$(basename "$file")")
            fi
        done
    done
done
if [ ${#wrong[@]} -gt 0 ]; then
    printf 'differs from kova cat: %s\n' "${wrong[@]}"
    exit 1
fi
echo "$compared files (memory and disk output, ANSI and Unicode) equal to kova cat"
