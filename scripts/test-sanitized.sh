#!/usr/bin/env bash
# Builds the native tests with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ (or
# $ASAN_BUILD_DIR) and runs them, each bounded in time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
dir=${ASAN_BUILD_DIR:-build-asan}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DSARNEX_SANITIZE=ON -DSARNEX_BUILD_BENCH=OFF \
  -DSARNEX_WERROR=ON >/dev/null
cmake --build "$dir" -j"$(nproc)"
# The whole calibrations of every model (label calibrations) run natively; under the sanitizers
# they would take most of CI's time, and the unit tests cover their paths. The American table runs
# one scheme per stepping routine here (2, 3, 10 and 11), the routines that project onto the payoff;
# every scheme, the multi-level ones (beyond five minutes each here) among them, runs natively and
# under wine.
ctest --test-dir "$dir" --output-on-failure --timeout 600 -j"$(nproc)" -LE calibrations \
  -E '^MultiLevel/AmericanEveryScheme|AmericanEveryScheme.*/scheme([4-9]|1[2-4])( |$)'
