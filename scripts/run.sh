#!/usr/bin/env bash
# Installs the build and runtime packages that are missing, builds the programs (not the tests),
# and starts Quorvane. Without a display it lists the addresses with quorvane-cli instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" -DQV_BUILD_TESTS=OFF
build=${QV_BUILD_DIR:-$root/build}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: running 'quorvane-cli list' instead of the window." >&2
    exec "$build/cli/quorvane-cli" list
fi
exec "$build/shell/quorvane" "$@"
