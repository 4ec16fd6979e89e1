#!/bin/sh
# Runs a command once the files it needs from other builds exist: a tier
# whose input another preset builds is skipped (a failure with CI=true)
# until that preset has been built.
#   requires.sh FILE... -- COMMAND [ARGUMENT...]
here=$(dirname "$0")
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    [ -e "$1" ] || exec sh "$here/skipped.sh" "$1 is missing (build its preset first)"
    shift
done
shift
exec "$@"
