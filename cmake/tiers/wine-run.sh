#!/usr/bin/env bash
# Runs a Windows program under wine64 for CTest (the cross builds'
# CMAKE_CROSSCOMPILING_EMULATOR): in the build tree's own prefix, never
# opening a window or offering to install anything, with the program's
# exit status. Its standard output comes with the CRs of Windows line ends
# taken out, so that what reads it (GoogleTest's list of cases, the
# comparisons with the native programs) sees lines as they are.
#   wine-run.sh WINE64 PREFIX PROGRAM [ARGUMENT...]
set -uo pipefail
wine64=$1
export WINEPREFIX=$2
shift 2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# Through a file, not a pipe: services Wine starts on the way may outlive
# the program and would hold a pipe open.
output=$(mktemp) || exit 1
trap 'rm -f "$output"' EXIT
"$wine64" "$@" >"$output"
status=$?
tr -d '\r' <"$output"
exit $status
