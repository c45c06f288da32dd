#!/usr/bin/env bash
# Test launcher of the Windows builds (CMAKE_CROSSCOMPILING_EMULATOR): runs a program under wine,
# bounded in time, with carriage returns removed from its standard output so that ctest and
# gtest_discover_tests read the same text as from a native run. The exit code is the program's.
#
# Start it under scripts/test-windows.sh, which keeps a wineserver running beforehand: a first
# wine start inside ctest leaves wine's services holding ctest's output pipe.
#
# 64-bit programs go straight to wine's 64-bit loader. 32-bit programs need wine's 32-bit loader;
# where the kernel runs no 32-bit code it runs under qemu's user-mode emulator (registered by
# scripts/install-cross-deps.sh). Its guest address space is then kept just above the 2 GB of a
# 32-bit Windows process: with the default 4 GB, wine's start-up probing of the upper half costs
# about a minute per program.
set -o pipefail
exe=$1
machine=$(od -An -tx2 -j "$(od -An -tu4 -j 60 -N 4 "$exe" 2>/dev/null | tr -d ' ')" -N 6 "$exe" 2>/dev/null |
          awk '{print $3}')
loader=wine
if [ "$machine" = 8664 ] && [ -x /usr/lib/wine/wine64 ]; then
  loader=/usr/lib/wine/wine64
elif [ "$machine" = 014c ]; then
  export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0x81000000}
fi
timeout --kill-after=10 "${SARNEX_WINE_TIMEOUT:-590}" "$loader" "$@" | tr -d '\r'
