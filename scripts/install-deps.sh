#!/usr/bin/env bash
# Installs what the native build and its tests need on Debian 12. Safe to run again: it does
# nothing when every package is already there.
set -euo pipefail
source "$(dirname "$0")/apt-refresh.sh"
packages=(build-essential cmake pkg-config git
          libeigen3-dev libsuitesparse-dev libmetis-dev libopenblas-dev liblapack-dev libboost-dev
          libgtest-dev libgmock-dev libbenchmark-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  apt_refresh install-deps $SUDO apt-get -o DPkg::Lock::Timeout=600 -q
  $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${APT_TARGET[@]}" "${missing[@]}"
fi
