#!/usr/bin/env bash
# Builds both Windows deliverables (scripts/build-windows.sh) and runs their test suites under wine.
# Usage: scripts/test-windows.sh [64] [32]       (default: both)
# Environment: as scripts/build-windows.sh, plus CTEST_ARGS (extra ctest arguments, e.g. "-L numerics").
#
# wine keeps one server process per prefix. If the first wine program of a prefix started inside
# ctest, wine's background services would inherit ctest's output pipe and ctest would wait for them
# for ever; so the prefix is made, its server started persistent and its services booted here,
# with their standard streams on /dev/null, and the server is stopped at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
bits=("$@"); [ ${#bits[@]} -eq 0 ] && bits=(64 32)
bash scripts/build-windows.sh "${bits[@]}"
source scripts/cross-env.sh

export WINEPREFIX=${WINEPREFIX:-$SARNEX_CROSS_DEPS/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all,err+module}
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono/Gecko installers: nothing here needs them
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0x81000000}   # see scripts/wine-run.sh
t0=$SECONDS
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 600 wine wineboot -i </dev/null >/dev/null 2>&1 || true
  timeout 120 wineserver -w || true
fi
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
timeout 300 wine wineboot </dev/null >/dev/null 2>&1 || true
echo "[time] $((SECONDS - t0))s wine prefix and server"

status=0
for b in "${bits[@]}"; do
  case $b in
    64) dir=${WIN64_BUILD_DIR:-build-win64} ;;
    32) dir=${WIN32_BUILD_DIR:-build-win32} ;;
  esac
  t0=$SECONDS
  # shellcheck disable=SC2086
  ctest --test-dir "$dir" --output-on-failure --timeout 300 -j"${CTEST_JOBS:-4}" ${CTEST_ARGS:-} || status=1
  echo "[time] $((SECONDS - t0))s tests win$b under wine"
done
exit $status
