#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the server's tests run on SQLite and,
# against a throwaway PostgreSQL cluster started for the run, on PostgreSQL too.
# With SERVTRAN_SANITIZE=1 it builds and runs the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer instead.
# Run it as yourself: apt-get goes through sudo only when a package is missing. Run as root (sudo,
# or a root shell) in a checkout that belongs to a user, it builds and tests as that user.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
. "$root/scripts/owner.sh"
continue_as_checkout_owner "$0" "$@"

if [ "${SERVTRAN_SANITIZE:-0}" = 1 ]; then
  dir="$root/build-asan"
  BUILD_TYPE=Debug "$root/scripts/build.sh" "$dir" -DSERVTRAN_SANITIZE=ON -DSERVTRAN_BENCH=OFF
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp"
else
  dir="$root/build"
  "$root/scripts/build.sh" "$dir"
fi

if [ "${SERVTRAN_NO_PG:-0}" != 1 ]; then
  export SERVTRAN_PG_STATE="$dir/pg-test.state"
  SERVTRAN_TEST_PG="$("$root/scripts/pg-test-cluster.sh" start)"
  export SERVTRAN_TEST_PG
  trap '"$root/scripts/pg-test-cluster.sh" stop >/dev/null 2>&1 || true' EXIT
  echo "PostgreSQL for the server tests: $SERVTRAN_TEST_PG"
fi

cd "$dir"
ctest --output-on-failure -j "$(nproc)" --timeout 600
