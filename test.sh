#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine and runs every test through ctest.
# Extra arguments go to ctest, e.g. ./test.sh -R support_tests  or  ./test.sh -L gui
set -uo pipefail
. "$(dirname "$0")/scripts/setup-common.sh"

delvora_install_packages || exit 1
delvora_build || { echo "build failed" >&2; exit 1; }
delvora_start_display || exit 1
trap delvora_stop_display EXIT

cd "$DELVORA_BUILD" || exit 1
ctest --output-on-failure --timeout 900 "$@"
rc=$?
exit $rc
