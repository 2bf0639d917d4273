#!/usr/bin/env bash
# Runs each fuzz target for a number of inputs (default 1,000,000) from a copy of the seed corpus,
# with AddressSanitizer and UBSan; prints each target's last status line. A finding stops that
# target with its reproducer written to the current folder.
#   bench/fuzz/run.sh BUILD_DIR [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:?usage: run.sh BUILD_DIR [RUNS]}
runs=${2:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in frames calls packets hello dispatch; do
  corpus=$target
  case $target in hello|dispatch) corpus=calls ;; esac
  cp -r "$root/tests/protocol/corpus/$corpus" "$work/$target"
  echo "fuzz_$target, $runs runs:"
  "$build/fuzz_$target" -runs="$runs" -max_len=65536 -rss_limit_mb=1024 -timeout=10 "$work/$target" 2>&1 \
    | grep -E "^#[0-9]+.*(DONE|pulse)|ERROR|SUMMARY" | tail -2
done
