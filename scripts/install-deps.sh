#!/usr/bin/env bash
# Installs the Debian packages that Quorvane needs, and says which before installing them.
#   install-deps.sh          to build the programs and run them (scripts/run.sh)
#   install-deps.sh --tests  also what the tests, the package check and the benchmarks need
#                            (scripts/test.sh)
# Safe to run again: only what is missing is installed.
set -euo pipefail

build_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev
  libcurl4-openssl-dev libc-ares-dev libldns-dev qtkeychain-qt6-dev
  librsvg2-bin
  # Without it a Wayland session falls back to X11, and QT_QPA_PLATFORM=wayland fails.
  qt6-wayland
)

test_packages=(
  git clang-format
  libgtest-dev libgmock-dev googletest
  libcpp-httplib-dev libssl-dev openssl
  python3-pyftpdlib python3-openssl
  lighttpd php-cli dnsmasq miniupnpd-nftables knot knot-dnsutils faketime
  gnome-keyring dbus python3-dbus python3-gi
  iproute2 util-linux procps curl
  xvfb xauth x11-utils trayer
  dpkg-dev file lintian appstream desktop-file-utils man-db systemd
  clang libclang-rt-14-dev
)

# Test servers that the tests start themselves. Their packages would also start them as system
# services (a web server on port 80, a DNS server on port 53): held back while installing, and
# disabled afterwards when this run installed them.
test_services=(lighttpd dnsmasq knot)

packages=("${build_packages[@]}")
case "${1:-}" in
  --tests) packages+=("${test_packages[@]}") ;;
  "") ;;
  *) echo "usage: install-deps.sh [--tests]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

new_services=()
for s in "${test_services[@]}"; do
  if [[ " ${missing[*]} " == *" $s "* ]]; then new_services+=("$s"); fi
done
policy=/usr/sbin/policy-rc.d
if [ ${#new_services[@]} -gt 0 ] && [ ! -e "$policy" ]; then
  # invoke-rc.d and deb-systemd-invoke ask this script before starting a service; 101 is "no".
  printf '#!/bin/sh\ncase "$1" in %s) exit 101 ;; esac\nexit 0\n' \
    "$(IFS='|'; echo "${new_services[*]}")" | $SUDO tee "$policy" >/dev/null
  $SUDO chmod 755 "$policy"
  trap '$SUDO rm -f "$policy"' EXIT
fi

$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"

disable_service() {
  if [ -d /run/systemd/system ]; then
    $SUDO systemctl disable --now "$1.service"
  else
    # No service manager runs: stop it in case another policy let it start, then remove its
    # start-up links.
    $SUDO "/etc/init.d/$1" stop >/dev/null 2>&1 || true
    $SUDO systemctl disable "$1.service" 2>/dev/null || $SUDO update-rc.d "$1" disable
  fi
}
for s in "${new_services[@]}"; do
  if disable_service "$s"; then
    echo "Disabled the system service $s: the tests start their own."
  else
    echo "Could not disable the system service $s: disable it yourself if you do not want it." >&2
  fi
done
