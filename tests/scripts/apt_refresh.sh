#!/usr/bin/env bash
# The install scripts' package-list refresh, run against a stand-in apt-get first on PATH: a
# refresh that keeps failing warns and goes on to the install (from the release's own suite),
# whose own failure still ends the script; a refresh that recovers on a later try says nothing.
set -uo pipefail
script=$(cd "$(dirname "$0")/../../scripts" && pwd)/install-deps.sh
bin=$(mktemp -d); trap 'rm -rf "$bin"' EXIT
cat >"$bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
for a; do case $a in
  update)
    n=$(( $(cat "$STANDIN_DIR/updates" 2>/dev/null || echo 0) + 1 )); echo $n >"$STANDIN_DIR/updates"
    [ "$STANDIN_UPDATE_FAILS" -ge "$n" ] || exit 0
    echo "E: Failed to fetch http://mirror.invalid/dists/x/main/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?" >&2
    exit 100 ;;
  install)
    [ "$STANDIN_INSTALL" = ok ] && { echo "$*" >"$STANDIN_DIR/installed"; exit 0; }
    echo "E: Unable to locate package libstandin-dev" >&2; exit 100 ;;
esac; done
STANDIN
printf '#!/bin/sh\nexit 1\n' >"$bin/dpkg-query"     # every package missing
printf '#!/bin/sh\nexec "$@"\n' >"$bin/sudo"
chmod +x "$bin"/*
export STANDIN_DIR=$bin APT_REFRESH_PAUSE=0

fails=0
# case UPDATE-FAILURES INSTALL WANT-STATUS WANT-IN-STDERR DONT-WANT-IN-STDERR TARGETED
# (TARGETED: whether a successful install was given "-t <release>")
case_() {
  rm -f "$bin/updates" "$bin/installed"
  local err rc
  err=$(STANDIN_UPDATE_FAILS=$1 STANDIN_INSTALL=$2 PATH="$bin:$PATH" bash "$script" 2>&1 >/dev/null); rc=$?
  if { [ "$3" = 0 ] && [ $rc -ne 0 ]; } || { [ "$3" != 0 ] && [ $rc -eq 0 ]; } ||
     [[ -n $4 && $err != *"$4"* ]] || [[ -n $5 && $err == *"$5"* ]] ||
     { [ "$2" = ok ] && [ "$(grep -cE -- ' -t [a-z]+ ' "$bin/installed" 2>/dev/null)" != "$6" ]; }; then
    echo "FAIL: updates failing $1, install $2: exit $rc, stderr:"; echo "$err"; fails=$((fails + 1))
  fi
}
case_ 9 ok   0  "warning: the package lists did not refresh in 3 tries (failed: http://mirror.invalid/dists/x/main/binary-i386/Packages.xz" "" 1
case_ 9 fail 1  "E: Unable to locate package libstandin-dev" "" -
case_ 1 ok   0  "" "warning" 0
[ $fails -eq 0 ] && echo "apt refresh: all cases pass"
exit $fails
