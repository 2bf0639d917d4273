#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the system.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
"$root/build/bench/toolkit/bench_clientdataset"
