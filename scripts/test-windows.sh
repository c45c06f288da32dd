#!/usr/bin/env bash
# Builds both Windows deliverables (scripts/build-windows.sh) and runs their test suites under wine.
# Usage: scripts/test-windows.sh [64] [32]       (default: both)
# Environment: as scripts/build-windows.sh, plus
#   CTEST_ARGS            extra ctest arguments for both suites, e.g. "-L numerics"
#   SARNEX_WIN64_LABELS   a label regex: run only those tests of the 64-bit suite (default: all)
#   SARNEX_WIN32_LABELS   the same for the 32-bit suite (default: all; emulated, see below:
#                         numerics|platform|exports|model|density)
#   SARNEX_WIN32_EXCLUDE  a test-name regex left out of the emulated 32-bit suite (default: the
#                         variance-grid accuracy program, the table of model codes over all
#                         schemes and the pricer's time-extrapolated greeks, fine grids that take
#                         four to six minutes each emulated and prove numbers the 64-bit and
#                         native suites already prove)
#   SARNEX_SUITE_TIMEOUT  seconds after which a whole suite is stopped (default 1500)
#   SARNEX_SKIP_BUILD=1   run what is built, without building first
#   NATIVE_BUILD_DIR      the native build whose program the Windows programs' calibration is
#                         compared with (default build; scripts/wine-calibration.sh)
#
# Where wine's 32-bit side runs under qemu (no 32-bit support in the kernel), the emulator must keep
# the TLS descriptors of a program's threads apart (qemu 10 or later; scripts/install-cross-deps.sh
# installs it and says why): under an older one a 32-bit program with more than one thread ends in
# a segmentation fault.
#
# Emulated code also runs about ten times slower, so only the labels above run by default; the
# 64-bit suite runs everything, and the scheme and Heston tests at full length there.
#
# wine keeps one server process per prefix. If the first wine program of a prefix started inside
# ctest, wine's background services would inherit ctest's output pipe and ctest would wait for them
# for ever; so the prefix is made, its server started persistent and its services booted here,
# with their standard streams on /dev/null, and the server is stopped at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
bits=("$@"); [ ${#bits[@]} -eq 0 ] && bits=(64 32)
[ "${SARNEX_SKIP_BUILD:-0}" = 1 ] || bash scripts/build-windows.sh "${bits[@]}"
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
wineserver -p </dev/null >/dev/null 2>&1 || true   # already running for this prefix: use it
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
timeout 300 wine wineboot </dev/null >/dev/null 2>&1 || true
echo "[time] $((SECONDS - t0))s wine prefix and server"

status=0
for b in "${bits[@]}"; do
  emulated=0
  exclude=
  case $b in
    64) dir=${WIN64_BUILD_DIR:-build-win64}; labels=${SARNEX_WIN64_LABELS:-} ;;
    32) dir=${WIN32_BUILD_DIR:-build-win32}
        grep -qsx enabled /proc/sys/fs/binfmt_misc/sarnex-i386 && emulated=1
        if [ $emulated = 1 ]; then
          labels=${SARNEX_WIN32_LABELS-numerics|platform|exports|model|density}
          exclude=${SARNEX_WIN32_EXCLUDE-test_exports_chain_variance_bounds|test_exports_scheme_model_codes|test_exports_time_extrapolated_greeks}
        else
          labels=${SARNEX_WIN32_LABELS:-}
        fi ;;
  esac
  select=(); [ -n "$labels" ] && select=(-L "$labels")
  [ -n "$exclude" ] && select+=(-E "$exclude")
  if [ $emulated = 1 ]; then
    echo "win32: wine's 32-bit side runs emulated; labels '${labels:-all}'"
  fi
  t0=$SECONDS
  # shellcheck disable=SC2086
  timeout --kill-after=30 "${SARNEX_SUITE_TIMEOUT:-1500}" \
    ctest --test-dir "$dir" --output-on-failure --timeout 300 -j"${CTEST_JOBS:-$(nproc)}" "${select[@]}" \
      ${CTEST_ARGS:-} || status=1
  echo "[time] $((SECONDS - t0))s tests win$b under wine"
done

# Both programs calibrate a short Heston chain under wine like the native program does.
native=${NATIVE_BUILD_DIR:-build}/console/sarnex
programs=()
for b in "${bits[@]}"; do
  case $b in
    64) p=${WIN64_BUILD_DIR:-build-win64}/console/sarnex64.exe ;;
    32) p=${WIN32_BUILD_DIR:-build-win32}/console/sarnex32.exe ;;
  esac
  [ -f "$p" ] && programs+=("$p")
done
if [ -x "$native" ] && [ ${#programs[@]} -gt 0 ]; then
  bash scripts/wine-calibration.sh "$native" "${programs[@]}" || status=1
else
  echo "no native program at $native: the calibration under wine is not compared"
fi
exit $status
