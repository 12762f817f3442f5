#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test Quorvane.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libcurl4-openssl-dev libc-ares-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libcpp-httplib-dev libssl-dev
  python3-pyftpdlib python3-openssl
  lighttpd php-cli dnsmasq miniupnpd-nftables miniupnpc
  qtkeychain-qt6-dev gnome-keyring
  iproute2 util-linux procps
  xvfb xauth x11-utils trayer libxcb1-dev
  dbus python3-dbus python3-gi
  clang-format librsvg2-bin
  dpkg-dev appstream desktop-file-utils man-db systemd
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
