#!/bin/sh
# A tier whose tools are missing: reported to CTest as skipped (exit 77,
# which the test's SKIP_RETURN_CODE names), and with CI=true as a failure,
# since CI must run every tier.
#   skipped.sh REASON
echo "SKIPPED: $1"
if [ "${CI:-}" = "true" ]; then
    echo "CI=true: a tier that cannot run is a failure" >&2
    exit 1
fi
exit 77
