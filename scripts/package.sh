#!/usr/bin/env bash
# Builds the Debian packages servtran-server, servtran-web and servtran-host from a build tree (built first),
# into <build-dir>/packages, and checks them with lintian when it is installed.
#   scripts/package.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
"$root/scripts/build.sh" "$dir" >/dev/null
out="$dir/packages"
rm -rf "$out"
mkdir -p "$out"
# fakeroot: every file in the packages belongs to root whoever builds them
(cd "$dir" && fakeroot cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log" >&2; exit 1; }
rm -rf "$out/_CPack_Packages"
ls -l "$out"/*.deb
if command -v lintian >/dev/null; then
  lintian --fail-on error "$out"/*.deb
fi
