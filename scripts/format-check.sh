#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what the repository's .clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
files=()
while IFS= read -r -d '' f; do
    [ -f "$f" ] && files+=("$f") # a file deleted in the working tree is not checked
done < <(git ls-files -z '*.cpp' '*.h')
clang-format --dry-run -Werror "${files[@]}"
