#!/usr/bin/env bash
# Builds the native tests with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ (or
# $ASAN_BUILD_DIR) and runs them, each bounded in time. Warnings are not errors here: under the
# sanitizers GCC 12 warns inside its own headers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
dir=${ASAN_BUILD_DIR:-build-asan}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DSARNEX_SANITIZE=ON -DSARNEX_BUILD_BENCH=OFF >/dev/null
# The build's output goes to a log (those header warnings are long); shown when the build fails.
if ! cmake --build "$dir" -j"$(nproc)" >"$dir/build.log" 2>&1; then
  grep -E 'error|Error' "$dir/build.log" | head -50
  exit 1
fi
ctest --test-dir "$dir" --output-on-failure --timeout 600 -j"$(nproc)"
