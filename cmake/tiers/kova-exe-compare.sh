#!/usr/bin/env bash
# kova.exe held to the native kova, one check per call, from the source
# directory with the same relative, '/'-separated arguments to both: what a
# user types on either system. Output is compared with CRLF taken as LF.
#
#   kova-exe-compare.sh CHECK KOVA WORK -- KOVA_EXE_COMMAND...
#
#   list, list-json     kova list [--json] examples/sample.DAT prints the same
#   list-hash           kova list --json --hash: the system's SHA-256 (libcrypto
#                       natively, BCrypt on Windows) gives the same digests
#   extract             kova extract gives the same files, byte for byte
#   unicode-list        the same listing of a copy on a path the ANSI code page
#                       cannot spell (kova.exe reads its command line in UTF-16
#                       and goes through the Unicode functions)
#   unicode-extract     the same files from it, into a Japanese folder
#   unicode-pack        packing them back to a Japanese path: the same archive
#
# WORK (relative to the source directory) is made afresh for the check.
set -uo pipefail
check=$1 kova=$2 work=$3
shift 4
windows=("$@")
sample=examples/sample.DAT
out=$work/$check
rm -rf "$out"
mkdir -p "$out"

fail() { echo "FAILED: $*"; exit 1; }

# same_output NAME ARGUMENT...: both exit 0 and print the same.
same_output() {
    local name=$1
    shift
    "$kova" "$@" >"$out/$name.native" 2>&1
    local native_rc=$?
    "${windows[@]}" "$@" >"$out/$name.windows" 2>&1
    local windows_rc=$?
    echo "kova $*: exit $native_rc native, $windows_rc kova.exe"
    if [ "$native_rc" -ne 0 ] || [ "$windows_rc" -ne 0 ]; then
        cat "$out/$name.windows"
        fail "exit $native_rc native, $windows_rc kova.exe"
    fi
    diff -u "$out/$name.native" <(tr -d '\r' <"$out/$name.windows") || fail "outputs differ"
}

# same_files DIR-NATIVE DIR-WINDOWS
same_files() {
    local count
    count=$(find "$1" -type f 2>/dev/null | wc -l)
    [ "$count" -gt 0 ] || fail "nothing was extracted natively"
    diff -r "$1" "$2" || fail "extracted files differ"
    echo "the same $count files as kova"
}

unicode_copy() {
    mkdir -p "$out/ゲーム"
    cp "$sample" "$out/ゲーム/ディスク.DAT"
    unicode_sample="$out/ゲーム/ディスク.DAT"
}

case $check in
list) same_output list list "$sample" ;;
list-json) same_output list-json list --json "$sample" ;;
list-hash) same_output list-hash list --json --hash "$sample" ;;
extract)
    "$kova" extract -q "$sample" -o "$out/extract-native" || fail "kova extract failed"
    "${windows[@]}" extract -q "$sample" -o "$out/extract-windows" || fail "kova.exe extract failed"
    same_files "$out/extract-native" "$out/extract-windows"
    ;;
unicode-list)
    unicode_copy
    same_output list-unicode list "$unicode_sample"
    ;;
unicode-extract)
    unicode_copy
    "$kova" extract -q "$unicode_sample" -o "$out/展開-native" || fail "kova extract failed"
    "${windows[@]}" extract -q "$unicode_sample" -o "$out/展開-windows" || fail "kova.exe extract failed"
    [ "$(find "$out/展開-native" -type f -name 'ディスク_*' | wc -l)" -gt 0 ] || fail "no entry named after the archive"
    same_files "$out/展開-native" "$out/展開-windows"
    ;;
unicode-pack)
    unicode_copy
    "$kova" extract -q "$unicode_sample" -o "$out/展開" || fail "kova extract failed"
    "$kova" pack -q "$out/再梱包-native.DAT" "$out/展開" || fail "kova pack failed"
    "${windows[@]}" pack -q "$out/再梱包-windows.DAT" "$out/展開" || fail "kova.exe pack failed"
    cmp "$out/再梱包-native.DAT" "$out/再梱包-windows.DAT" || fail "the archives differ"
    echo "the same archive as kova"
    ;;
*) echo "kova-exe-compare.sh: no check $check" >&2; exit 2 ;;
esac
