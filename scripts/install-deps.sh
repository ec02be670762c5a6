#!/usr/bin/env bash
# Installs the Debian 12 packages the utility needs to build, run and test, if any is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev
  xvfb libxcb1-dev libxcb-xtest0-dev
  dbus at-spi2-core python3-pyatspi
  qt6-translations-l10n
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  gettext
  ser2net
  fonts-dejavu-core fonts-liberation2
  dpkg-dev file lintian desktop-file-utils
  g++-mingw-w64-x86-64-posix wine wine64 man-db
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
