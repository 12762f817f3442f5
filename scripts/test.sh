#!/usr/bin/env bash
# Installs what is missing for the build and the tests (scripts/install-deps.sh --tests names the
# packages first), builds the programs and the tests, and runs every test. QV_SANITIZE=1 builds
# with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/. In CI (CI=true) compiler
# warnings are errors, and the Debian package is built, installed, tried and removed again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" --tests
werror=OFF
if [ "${CI:-}" = true ]; then
    werror=ON
fi
if [ "${QV_SANITIZE:-0}" = 1 ]; then
    export QV_BUILD_DIR=${QV_BUILD_DIR:-$root/build-asan}
    export QV_BUILD_TYPE=Debug
    export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}
    "$root/scripts/build.sh" -DQV_BUILD_TESTS=ON -DQV_SANITIZE=ON -DQV_WERROR=$werror
else
    "$root/scripts/build.sh" -DQV_BUILD_TESTS=ON -DQV_WERROR=$werror
fi
build=${QV_BUILD_DIR:-$root/build}
if [ "${CI:-}" = true ] && [ "${QV_SANITIZE:-0}" != 1 ]; then
    QV_BUILD_DIR=$build "$root/scripts/package.sh" --no-build --try-install
fi
# Each test program once with all its tests in one process, then every test under ctest, whose
# summary closes the output.
status=0
"$root/scripts/run-test-binaries.sh" "$build" || status=1
cd "$build"
ctest --output-on-failure -j "$(nproc)" --timeout 300 || status=1
exit $status
