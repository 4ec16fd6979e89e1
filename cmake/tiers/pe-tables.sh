#!/usr/bin/env bash
# Checks of a Windows build's export and import tables, one per call:
#
#   pe-tables.sh format FILE PE-FORMAT   FILE is a DLL of that format (pei-i386, pei-x86-64)
#   pe-tables.sh exports FILE            it exports exactly the ten (ANSI and Unicode), undecorated
#   pe-tables.sh imports FILE            it imports only KERNEL32.dll and msvcrt.dll
#   pe-tables.sh stdcall FILE            (32-bit) each export is its __stdcall _Name@N, callee pops
#   pe-tables.sh no-runtime FILE         it needs no compiler runtime DLL beside it
#
# OBJDUMP and NM name the tools (x86_64-w64-mingw32-objdump reads PE32 and PE32+).
set -uo pipefail
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
nm=${NM:-i686-w64-mingw32-nm}
check=$1 file=$2

expected_exports="GetArchiveInfo GetArchiveInfoW GetFile GetFileInfo GetFileInfoW GetFileW GetPluginInfo GetPluginInfoW IsSupported IsSupportedW"
# What each export's arguments take on the 32-bit stack: the callee pops them.
declare -A stdcall_bytes=([GetPluginInfo]=12 [IsSupported]=8 [GetArchiveInfo]=16 [GetFileInfo]=20 [GetFile]=24
                          [GetPluginInfoW]=12 [IsSupportedW]=8 [GetArchiveInfoW]=16 [GetFileInfoW]=20 [GetFileW]=24)

[ -f "$file" ] || { echo "$file was not built"; exit 1; }
tables=$("$objdump" -p "$file") || exit 1

exported_names() {
    awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
         on && /^[[:space:]]*$/ { exit }
         on { print $NF }' <<<"$tables" | sort | tr '\n' ' ' | sed 's/ $//'
}
imported_dlls() { awk '/DLL Name:/ { print $3 }' <<<"$tables" | sort -f | tr '\n' ' ' | sed 's/ $//'; }

case $check in
format)
    got=$("$objdump" -f "$file" | sed -n 's/.*file format //p')
    echo "$file: $got"
    [ "$got" = "$3" ] || { echo "not $3"; exit 1; }
    ;;
exports)
    names=$(exported_names)
    echo "exports: $names"
    [ "$names" = "$expected_exports" ] || { echo "want: $expected_exports"; exit 1; }
    ;;
imports)
    dlls=$(imported_dlls)
    echo "imports: $dlls"
    [ "$dlls" = "KERNEL32.dll msvcrt.dll" ] || { echo "want: KERNEL32.dll msvcrt.dll"; exit 1; }
    ;;
no-runtime)
    dlls=$(imported_dlls)
    echo "imports: $dlls"
    if printf '%s\n' $dlls | grep -qiE '^(libgcc|libstdc|libwinpthread)'; then
        echo "needs compiler runtime DLLs"
        exit 1
    fi
    ;;
stdcall)
    # Each undecorated export must be the stdcall function itself (_Name@N),
    # not a cdecl one that happens to carry the name. A Release plug-in ships
    # stripped; its symbols are kept beside it.
    symbols=$file
    [ -f "$file.symbols" ] && symbols=$file.symbols
    base=$(awk '$1 == "ImageBase" { print $2 }' <<<"$tables")
    declare -A rva_of_ordinal=() ordinal_of_name=()
    while read -r ordinal rva; do rva_of_ordinal[$ordinal]=$rva; done < <(
        sed -n 's/^[[:space:]]*\[ *\([0-9]*\)\] +base\[ *[0-9]*\] \([0-9a-f]*\) Export RVA$/\1 \2/p' <<<"$tables")
    while read -r ordinal name; do ordinal_of_name[$name]=$ordinal; done < <(
        awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
             on && /^[[:space:]]*$/ { exit }
             on { gsub(/[][]/, " "); print $1, $2 }' <<<"$tables")
    symbol_table=$("$nm" "$symbols") || exit 1
    bad=()
    for name in $expected_exports; do
        symbol="_${name}@${stdcall_bytes[$name]}"
        address=$(awk -v s="$symbol" '$3 == s { print $1; exit }' <<<"$symbol_table")
        rva=${rva_of_ordinal[${ordinal_of_name[$name]:-x}]:-}
        if [ -z "$address" ] || [ -z "$rva" ] || [ $((16#$address - 16#$base)) -ne $((16#$rva)) ]; then
            bad+=("$name")
        else
            echo "$name -> $symbol"
        fi
    done
    [ ${#bad[@]} -eq 0 ] || { echo "not bound to _Name@N: ${bad[*]}"; exit 1; }
    ;;
*)
    echo "pe-tables.sh: no check $check" >&2
    exit 2
    ;;
esac
