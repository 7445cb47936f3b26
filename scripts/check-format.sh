#!/usr/bin/env bash
# Checks that every tracked C++ file is as clang-format (.clang-format) would
# write it. Names each file that differs and exits 1 if any does; exits 0
# when all match. Usage: scripts/check-format.sh [CLANG_FORMAT]
set -euo pipefail
cd "$(dirname "$0")/.."
clang_format=${1:-clang-format}
command -v "$clang_format" >/dev/null || { echo "check-format: $clang_format not found" >&2; exit 2; }

differ=0
while IFS= read -r -d '' file; do
  if ! "$clang_format" --style=file "$file" | cmp -s "$file" -; then
    echo "not formatted: $file"
    differ=1
  fi
done < <(git ls-files -z -- '*.cpp' '*.h')
exit "$differ"
