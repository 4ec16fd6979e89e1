#!/usr/bin/env bash
# The archive the host patterns read besides the sample: kova packs it from
# an empty file, a single byte, bytes that do not pack smaller (so stored)
# and 1.3 MB of text (coded).
#   pattern-archive.sh KOVA DIR      writes DIR/edge.DAT
set -euo pipefail
kova=$1 dir=$2
rm -rf "$dir"
mkdir -p "$dir/inputs"
: >"$dir/inputs/a_empty"
printf 'x' >"$dir/inputs/b_one"
{
    printf 'RAW'
    for k in $(seq 1 64); do printf "$(printf '%s' "$k" | sha256sum | cut -c1-64 | sed 's/../\\x&/g')"; done
} >"$dir/inputs/c_stored"
seq -f 'line %06g of the large entry' 1 45000 >"$dir/inputs/d_large"
"$kova" pack -q "$dir/edge.DAT" "$dir"/inputs/*
"$kova" list "$dir/edge.DAT"
