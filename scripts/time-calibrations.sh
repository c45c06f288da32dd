#!/usr/bin/env bash
# Times whole calibrations on the bundled example chain (GARCH diffusion in speed and accuracy
# mode, Heston in speed mode) through the benchmark program: wall time of the runs, objective
# calls, refinement restarts, the final RMSE, and the high-precision evaluation after them.
# Not a test; each calibration runs once. Usage: scripts/time-calibrations.sh [benchmark filter]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
cmake --build "$BUILD_DIR" -j"${JOBS:-4}" --target sarnex_bench >/dev/null
"$BUILD_DIR/bench/sarnex_bench" --benchmark_filter="${1:-BM_ConsoleCalibration}"
