#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs a calibration with the console program.
#
#   bash scripts/run.sh [MODEL] [MODE] [CHAIN]
#
# MODEL  menu number: 1 GARCH diffusion (default), 2 power law p = 0.8, 3 ORV-X1,
#        4 inverse-gamma vol, 5 XGBM vol, 6 Heston
# MODE   0 speed (default), 1 accuracy, 2 balanced
# CHAIN  an option chain in the header layout (default: examples/OptionsData.txt); any argument
#        that names a file is taken as the chain.
#
# The chain is copied beside the program as OptionsData.txt and the answers are piped in. The
# program runs in build/console, where it leaves ModelIVs.txt and appends to
# CalibrationsHistory.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
numbers=()
chain=$root/examples/OptionsData.txt
for arg in "$@"; do
  if [ -f "$arg" ]; then
    chain=$(cd "$(dirname "$arg")" && pwd)/$(basename "$arg")
  else
    numbers+=("$arg")
  fi
done
model=${numbers[0]:-1}
mode=${numbers[1]:-0}

bash scripts/install-deps.sh
bash scripts/build.sh
program_dir=$root/build/console
if [ ! -f "$chain" ]; then
  echo "No option chain at $chain" >&2
  exit 1
fi
if [ "$chain" != "$program_dir/OptionsData.txt" ]; then
  cp "$chain" "$program_dir/OptionsData.txt"
fi
cd "$program_dir"
printf '%s\n%s\n' "$model" "$mode" | ./sarnex
echo
echo "Report: $program_dir/ModelIVs.txt"
echo "History: $program_dir/CalibrationsHistory.txt"
