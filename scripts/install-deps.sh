#!/usr/bin/env bash
# Installs the Debian packages the system needs to build, test and run; does nothing when they
# are all there already. Only then does it need root: as another user it calls apt-get through
# sudo, so the build trees stay the user's own.
set -euo pipefail

packages=(
  cmake ninja-build g++ ccache pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libsqlite3-dev libgl-dev
  postgresql
  xvfb xauth openbox fonts-dejavu-core
  libzint-dev poppler-utils zbar-tools
  libssl-dev libsodium-dev openssl
  libmicrohttpd-dev libgnutls28-dev
  chromium chromium-driver python3-selenium
  libxlsxwriter-dev python3-openpyxl
  qt6-translations-l10n
  dpkg-dev fakeroot lintian systemd
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  as_root=()
  if [ "$(id -u)" != 0 ]; then
    command -v sudo >/dev/null || { echo "install-deps: missing packages and no sudo; run me as root" >&2; exit 1; }
    as_root=(sudo)
  fi
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
