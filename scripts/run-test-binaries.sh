#!/usr/bin/env bash
# Runs each GoogleTest program of a build once with all its tests in one process, as ctest does not
# (it starts one process per test): no test may depend on running alone.
set -euo pipefail
build=${1:?usage: run-test-binaries.sh BUILD_DIR}
cd "$build"
mapfile -t programs < <(ctest --show-only=json-v1 | /usr/bin/python3 -c '
import json, sys
seen = []
for test in json.load(sys.stdin)["tests"]:
    command = test.get("command") or []
    if any(arg.startswith("--gtest_filter") for arg in command) and command[0] not in seen:
        seen.append(command[0])
print("\n".join(seen))
')
failed=()
for program in "${programs[@]}"; do
    name=$(basename "$program")
    if QT_QPA_PLATFORM=offscreen timeout 900 "$program" >"$name.one-process.log" 2>&1; then
        echo "one process: $name passed"
    else
        echo "one process: $name FAILED (see $build/$name.one-process.log)"
        tail -n 40 "$name.one-process.log"
        failed+=("$name")
    fi
done
[ ${#failed[@]} -eq 0 ]
