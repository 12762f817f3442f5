#!/usr/bin/env bash
# Checks that every C++ file in the repository is formatted as .clang-format asks, and names the
# files that are not. Usage: scripts/check-format.sh [clang-format]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
format=${1:-clang-format}
cd "$root"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path ./build -prune -o -path './build-*' -prune -o \
                                -type f \( -name '*.cpp' -o -name '*.h' \) -print | sort)
fi
off=()
for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    if ! "$format" --dry-run --Werror "$f" >/dev/null 2>&1; then
        off+=("$f")
    fi
done
if [ ${#off[@]} -gt 0 ]; then
    echo "Not formatted (fix with: $format -i FILE...):"
    printf '  %s\n' "${off[@]}"
    exit 1
fi
echo "${#files[@]} files formatted"
