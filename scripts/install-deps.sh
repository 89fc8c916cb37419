#!/usr/bin/env bash
# Installs the Debian packages needed to build and test, when any is missing. Safe to run again.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libssl-dev
  libgtest-dev
  libcurl4-openssl-dev
  python3 python3-pyftpdlib
  openssl
  qt6-base-dev qt6-base-dev-tools libqt6test6 qt6-qpa-plugins libxcb1-dev fonts-dejavu-core
  xvfb xauth imagemagick x11-apps librsvg2-bin
  clang libclang-rt-14-dev llvm
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update
"${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
