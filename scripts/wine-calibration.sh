#!/usr/bin/env bash
# Runs a short calibration (Heston, speed mode) with the native program and with each Windows
# program under wine, on one chain made from tests/data/heston_analytic.csv, and compares their
# "ModelIVs.txt" to the printed precision (everything but the time and processor line): the texts
# byte for byte, the numbers to their eight printed digits (one unit of the last digit apart at
# most). A number below 1e-10 in both runs counts as equal: a fit's RMSE on an exact chain is
# rounding noise of the IVs, whose last digits differ between the runtime libraries.
# Usage: scripts/wine-calibration.sh <native program> <windows program>...
# Run it where wine is set up (scripts/test-windows.sh does so and calls it). Each run is bounded
# in time by scripts/wine-run.sh (SARNEX_WINE_TIMEOUT, default here 300 s).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$1; shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Parameter set B at expiries of 0.5, 1 and 2 years: 33 quotes, of which the cheapest few are
# dropped by the caution filter.
chain=$work/OptionsData.txt
{
  printf 'Heston reference chain\nset B\nvaluation\nreference day\nspot\n100\nIV Strike Days Rate Dividend\n'
  awk -F, 'NR > 1 && $1 == "B" && ($4 == 0.5 || $4 == 1 || $4 == 2) {
             printf "%.17g\t%s\t%.17g\t%s\t%s\n", $14, $3, $4 * 365, $5, $6 }' \
      "$root/tests/data/heston_analytic.csv"
} > "$chain"

run() {  # run <dir> <program> [launcher...]
  local dir=$1 program=$2; shift 2
  mkdir -p "$dir"
  cp "$program" "$dir/"
  cp "$chain" "$dir/"
  (cd "$dir" && printf '6\n0\n' | "$@" "./$(basename "$program")" > stdout.txt 2> stderr.txt) || true
  if [ ! -s "$dir/ModelIVs.txt" ]; then
    echo "no ModelIVs.txt from $program"; tail -n 5 "$dir/stdout.txt" "$dir/stderr.txt"; return 1
  fi
  grep -v '^Calibration time: ' "$dir/ModelIVs.txt" | tr -d '\r' > "$dir/compare.txt"
}

same_report() {  # same_report <native> <other>: prints the lines that differ
  awk -v other="$2" '
    function num(s) { return s ~ /^[-+]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][-+]?[0-9]+)?$/ }
    function abs(x) { return x < 0 ? -x : x }
    {
      if ((getline line < other) <= 0) { print "missing line " NR; bad = 1; next }
      if (line == $0) next
      n = split($0, a, /[ \t]+/); m = split(line, b, /[ \t]+/)
      ok = (n == m)
      for (i = 1; ok && i <= n; i++) {
        if (a[i] == b[i]) continue
        if (!num(a[i]) || !num(b[i])) { ok = 0; break }
        x = a[i] + 0; y = b[i] + 0; big = abs(x) > abs(y) ? abs(x) : abs(y)
        if (big < 1e-10) continue
        unit = exp(log(10) * (int(log(big) / log(10) + 100) - 100 - 7))  # of the 8th digit
        if (abs(x - y) > 1.5 * unit && abs(x - y) > 1e-10) ok = 0
      }
      if (!ok) { print "native: " $0; print "wine:   " line; bad = 1 }
    }
    END { if ((getline line < other) > 0) { print "extra line: " line; bad = 1 }; exit bad }' "$1"
}

t0=$SECONDS
run "$work/native" "$native"
echo "[time] $((SECONDS - t0))s native calibration"
status=0
for program in "$@"; do
  t0=$SECONDS
  name=$(basename "$program" .exe)
  if run "$work/$name" "$program" env SARNEX_WINE_TIMEOUT="${SARNEX_WINE_TIMEOUT:-300}" \
        bash "$root/scripts/wine-run.sh" && same_report "$work/native/compare.txt" "$work/$name/compare.txt"; then
    echo "$name: ModelIVs.txt matches the native run"
  else
    echo "$name: ModelIVs.txt differs from the native run"; status=1
  fi
  echo "[time] $((SECONDS - t0))s $name under wine"
done
[ $status = 0 ] && echo "wine calibration ok"
exit $status
