#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite (each test bounded in time).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
bash scripts/build.sh -DSARNEX_WERROR=ON
ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 300 -j"$(nproc)"
