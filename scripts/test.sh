#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. With SERVTRAN_SANITIZE=1 it builds and
# runs the same tests under AddressSanitizer and UndefinedBehaviorSanitizer instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

if [ "${SERVTRAN_SANITIZE:-0}" = 1 ]; then
  dir="$root/build-asan"
  BUILD_TYPE=Debug "$root/scripts/build.sh" "$dir" -DSERVTRAN_SANITIZE=ON -DSERVTRAN_BENCH=OFF
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir="$root/build"
  "$root/scripts/build.sh" "$dir"
fi

cd "$dir"
ctest --output-on-failure -j "$(nproc)" --timeout 600
