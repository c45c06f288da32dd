#!/usr/bin/env bash
# Builds the two Windows deliverables with mingw-w64 (installing what is missing first):
#   build-win64/  (sarnex64, x86_64-w64-mingw32)    build-win32/  (sarnex32, i686-w64-mingw32)
# The programs land in build-win64/console/sarnex64.exe and build-win32/console/sarnex32.exe
# once the console program exists; the test programs in build-win*/tests/.
# Usage: scripts/build-windows.sh [64] [32]       (default: both)
# Environment: WIN64_BUILD_DIR, WIN32_BUILD_DIR, SARNEX_BUILD_TARGETS (space-separated targets
# instead of all), JOBS (default: number of cores), SARNEX_WERROR (default ON).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-cross-deps.sh
source scripts/cross-env.sh
bits=("$@"); [ ${#bits[@]} -eq 0 ] && bits=(64 32)
JOBS=${JOBS:-$(nproc)}
for b in "${bits[@]}"; do
  case $b in
    64) dir=${WIN64_BUILD_DIR:-build-win64}; toolchain=cmake/toolchain-mingw-x86_64.cmake; per_program=OFF ;;
    # wine's 32-bit loader may run emulated, where each program start costs seconds
    32) dir=${WIN32_BUILD_DIR:-build-win32}; toolchain=cmake/toolchain-mingw-i686.cmake; per_program=ON ;;
    *) echo "usage: $0 [64] [32]" >&2; exit 2 ;;
  esac
  t0=$SECONDS
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DSARNEX_CROSS_DEPS="$SARNEX_CROSS_DEPS" -DSARNEX_BUILD_BENCH=OFF \
    -DSARNEX_WERROR="${SARNEX_WERROR:-ON}" -DSARNEX_TEST_PER_PROGRAM=$per_program >/dev/null
  if [ -n "${SARNEX_BUILD_TARGETS:-}" ]; then
    # shellcheck disable=SC2086
    cmake --build "$dir" -j"$JOBS" --target $SARNEX_BUILD_TARGETS
  else
    cmake --build "$dir" -j"$JOBS"
  fi
  echo "[time] $((SECONDS - t0))s build win$b ($dir)"
done
