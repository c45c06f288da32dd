# Sourced by the install scripts: one way to refresh the package lists.
#
# apt_refresh TAG APT-GET-COMMAND...: runs "APT-GET-COMMAND update" up to three times, with a
# short pause between tries. A mirror caught mid-sync often fails one index (a size mismatch) and
# is whole again minutes later, while every package needed still comes from the indexes that did
# download; so a refresh that keeps failing prints one warning naming the failed indexes and
# returns 0. If a needed package really is missing, the install that follows fails with apt's
# own message.
#
# The failed index is often one architecture's of an update suite (security's i386, say): that
# suite's packages of the other architecture are then newer than any of the first, and a package
# that must have one version on both (Multi-Arch: same, such as libssl3 for wine32) can no longer
# be paired. So after a partial refresh APT_TARGET holds "-t <release>": installs that add it take
# the release's own suite first, whose versions exist for both.
APT_REFRESH_TRIES=${APT_REFRESH_TRIES:-3}
APT_REFRESH_PAUSE=${APT_REFRESH_PAUSE:-10}
APT_TARGET=()

apt_refresh() {
  local tag=$1; shift
  local out try failed
  out=$(mktemp)
  for ((try = 1; try <= APT_REFRESH_TRIES; try++)); do
    if "$@" update >"$out" 2>&1; then rm -f "$out"; return 0; fi
    [ "$try" -lt "$APT_REFRESH_TRIES" ] && sleep "$APT_REFRESH_PAUSE"
  done
  # apt names each index it could not fetch as "E: Failed to fetch URL  reason" (or "W: ...").
  failed=$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' "$out" | tr '\n' ' ')
  failed=${failed% }
  [ -n "$failed" ] || failed=$(grep -E '^[EW]: ' "$out" | tail -n 1)
  APT_TARGET=(-t "$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")")
  echo "$tag: warning: the package lists did not refresh in $APT_REFRESH_TRIES tries (failed: ${failed:-apt-get update gave no reason}); going on with the lists that did, from the release's own suite (${APT_TARGET[*]})" >&2
  rm -f "$out"
  return 0
}
