#!/usr/bin/env bash
# Builds the Debian package quorvane_<version>_<arch>.deb with CPack into the given folder
# (default: the build folder). Builds first unless --no-build is given (the package test uses
# the build it belongs to). --try-install then installs it with apt-get, runs quorvane-cli from
# /usr/bin, removes it again and checks that none of its files are left (needs root or sudo).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QV_BUILD_DIR:-$root/build}
out=""
do_build=1
try_install=0
for arg in "$@"; do
    case "$arg" in
        --no-build) do_build=0 ;;
        --try-install) try_install=1 ;;
        -*) echo "package.sh: unknown option $arg" >&2; exit 2 ;;
        *) out=$arg ;;
    esac
done
out=${out:-$build}
if [ "$do_build" = 1 ]; then
    # A new build folder gets the programs only; an existing one keeps its own choice.
    if [ -f "$build/CMakeCache.txt" ]; then
        "$root/scripts/build.sh"
    else
        "$root/scripts/build.sh" -DQV_BUILD_TESTS=OFF
    fi
fi
mkdir -p "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log" >&2; exit 1; }
deb=$(ls -t "$out"/quorvane_*.deb | head -n 1)
echo "$deb"

if [ "$try_install" = 1 ]; then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get install -y "$(realpath "$deb")"
    files=$(dpkg -L quorvane)
    /usr/bin/quorvane-cli --version
    /usr/bin/quorvane-cli list
    $SUDO apt-get remove -y quorvane
    left=0
    while read -r f; do
        # Files, and the folders that are the package's own, must be gone.
        if [ -f "$f" ] || [ -L "$f" ] || { [ -d "$f" ] && [[ "$f" == */quorvane* ]]; }; then
            echo "left behind: $f" >&2
            left=1
        fi
    done <<<"$files"
    exit $left
fi
