#!/usr/bin/env bash
# Prepares a Debian 12 machine for the two Windows deliverables: the mingw-w64 cross compilers
# (posix thread model), wine to run the test programs headless, and static SuiteSparse (with the
# METIS it bundles), reference BLAS/LAPACK and GoogleTest for both mingw triples, compiled from
# Debian's own source packages (Debian ships no mingw builds of them).
#
# Safe to run again: packages already installed are not touched, and the libraries are rebuilt
# only when their cache stamp is missing. The cache lives outside the work tree:
#   $SARNEX_CROSS_DEPS (default /var/cache/sarnex-cross as root, else ~/.cache/sarnex-cross)
#     src/                          unpacked source packages
#     <triple>/{include,lib}        static libraries per triple (the toolchain files look here)
# Prints the time of each step as "[time] <seconds>s <step>".
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/cross-env.sh
source scripts/apt-refresh.sh

SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
APT=($SUDO apt-get -o DPkg::Lock::Timeout=900 -y -q)
JOBS=${JOBS:-4}
TRIPLES=(x86_64-w64-mingw32 i686-w64-mingw32)

step() {
  local name=$1; shift
  local t0=$SECONDS
  "$@"
  echo "[time] $((SECONDS - t0))s $name"
}

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

apt_updated=0
apt_update() { apt_refresh install-cross-deps "${APT[@]}"; apt_updated=1; }

install_packages() {
  local extra=() miss
  while [ "$1" != "--" ]; do extra+=("$1"); shift; done; shift
  miss=$(missing_packages "$@")
  [ -z "$miss" ] && return 0
  [ $apt_updated = 1 ] || apt_update
  # shellcheck disable=SC2086
  "${APT[@]}" install "${extra[@]}" "${APT_TARGET[@]}" $miss >/dev/null
}

# --- packages --------------------------------------------------------------------------------
t_pk=$SECONDS
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386   # wine32:i386 runs the 32-bit test programs
  apt_updated=0
fi
step "cross compilers" install_packages -- \
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix \
  gfortran-mingw-w64-x86-64-posix gfortran-mingw-w64-i686-posix \
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 \
  cmake make dpkg-dev googletest libeigen3-dev libboost-dev
# Without Recommends: wine would otherwise pull in several hundred desktop packages.
step "wine" install_packages --no-install-recommends -- wine wine64 wine32:i386

# --- package sources -----------------------------------------------------------------------------
# Extra entries are derived from this machine's own binary entries (same archive and keys),
# restricted to the running release, so no archive address lives in the repo.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
# derived_entries TYPE [SUITE]: the machine's binary entries of the running release as deb822
# stanzas of type TYPE, with their own suites; with SUITE, only the entries of the release's main
# suite, pointed at SUITE instead.
derived_entries() {
  local type=$1 suite=${2:-} f
  # deb822 stanzas: keep URIs/Suites/Components/Signed-By of every "deb" stanza of our release
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    case $f in */sarnex-*) continue ;; esac   # our own entries are derived, not the machine's
    awk -v rel="$codename" -v type="$type" -v suite="$suite" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && suites ~ pattern) {
          print "Types: " type; print "URIs: " uris; print "Suites: " (suite == "" ? suites : suite)
          print "Components: " comps; if (signed != "") print "Signed-By: " signed; print ""
        }
        types = uris = suites = comps = signed = ""
      }
      BEGIN { pattern = suite == "" ? "(^| )" rel : "(^| )" rel "( |$)" }
      /^[[:space:]]*$/ { flush(); next }
      /^#/ { next }
      /^[ \t]/ { if (last == "signed") signed = signed "\n" $0; next }   # folded (multi-line) field
      { last = "" }
      /^Signed-By:/  { last = "signed" }
      /^Types:/      { sub(/^Types:[[:space:]]*/, "");      types = $0; next }
      /^URIs:/       { sub(/^URIs:[[:space:]]*/, "");       uris = $0; next }
      /^Suites:/     { sub(/^Suites:[[:space:]]*/, "");     suites = $0; next }
      /^Components:/ { sub(/^Components:[[:space:]]*/, ""); comps = $0; next }
      /^Signed-By:/  { sub(/^Signed-By:[[:space:]]*/, "");  signed = $0; next }
      END { flush() }' "$f"
  done
  # one-line format: "deb [options] URI suite components..." becomes a deb822 stanza
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v rel="$codename" -v type="$type" -v want="$suite" '
      $1 == "deb" {
        i = 2; signed = ""
        if ($2 ~ /^\[/) {
          while (i <= NF) {
            if ($i ~ /^\[?signed-by=/) { s = $i; sub(/^\[?signed-by=/, "", s); sub(/\]$/, "", s); signed = s }
            if ($i ~ /\]$/) { i++; break }
            i++
          }
        }
        uri = $i; suite = $(i + 1); comps = ""
        for (j = i + 2; j <= NF; j++) comps = comps (comps == "" ? "" : " ") $j
        if (want == "" ? suite ~ ("^" rel) : suite == rel) {
          print "Types: " type; print "URIs: " uri; print "Suites: " (want == "" ? suite : want)
          print "Components: " comps; if (signed != "") print "Signed-By: " signed; print ""
        }
      }' "$f"
  done
}
# write_entries FILE WHAT TYPE [SUITE]: the derived entries into FILE, then a fresh package index.
write_entries() {
  local file=$1 what=$2 out
  out=$(derived_entries "${@:3}")
  if [ -z "$out" ]; then
    echo "install-cross-deps: no binary package source for '$codename' found to derive $what from" >&2
    exit 1
  fi
  printf '%s\n' "$out" | $SUDO tee "$file" >/dev/null
  apt_update
}

# Some kernels run no 32-bit x86 code (ia32 emulation switched off): wine's 32-bit loader then
# runs under qemu's user-mode emulator, registered for 32-bit x86 programs (not kept over a reboot,
# so this is checked on every run).
#
# The emulator must keep the TLS descriptors of a program's threads apart. qemu's user mode before
# version 10 (Debian 12 ships 7.2) keeps one descriptor table for all threads of a program: the
# descriptor a thread installs for its TLS (glibc's %gs) overwrites that of the threads before it,
# and once another thread reloads %gs (wine's 32-bit side does in its signal handlers and on
# return from them) it works on the TLS of the thread created last. A 32-bit Windows program with
# more than one thread (an OpenMP team, a std::thread) then ends in a segmentation fault, at the
# latest when that thread exits. The release's backports carry a version that keeps them apart;
# only qemu-user is taken from there (backports replace no other package by themselves).
QEMU_MIN_VERSION=1:10.0
qemu_version() { dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true; }
install_qemu() {
  local v cand from=()
  v=$(qemu_version)
  [ -n "$v" ] && dpkg --compare-versions "$v" ge $QEMU_MIN_VERSION && return 0
  [ $apt_updated = 1 ] || apt_update
  cand=$(apt-cache policy qemu-user | awk '$1 == "Candidate:" { print $2 }')
  if [ -z "$cand" ] || [ "$cand" = "(none)" ] || dpkg --compare-versions "$cand" lt $QEMU_MIN_VERSION; then
    local list=/etc/apt/sources.list.d/sarnex-backports.sources
    [ -f $list ] || write_entries $list "backports entries" deb "$codename-backports"
    from=(-t "$codename-backports")
  fi
  # qemu-user-static of Debian 12 (installed by earlier versions of this script) is the old
  # emulator; the new qemu-user's emulators are static themselves.
  "${APT[@]}" install --no-install-recommends "${from[@]}" qemu-user qemu-user-static- >/dev/null
  v=$(qemu_version)
  if [ -z "$v" ] || dpkg --compare-versions "$v" lt $QEMU_MIN_VERSION; then
    echo "install-cross-deps: qemu-user ${v:-(none)} is older than $QEMU_MIN_VERSION" >&2
    exit 1
  fi
}
enable_i386_emulation() {
  install_qemu
  local bm=/proc/sys/fs/binfmt_misc qemu=/usr/bin/qemu-i386
  [ -e $bm/register ] || $SUDO mount -t binfmt_misc binfmt_misc $bm
  if [ -e $bm/sarnex-i386 ]; then
    grep -qx "interpreter $qemu" $bm/sarnex-i386 && return 0
    echo -1 | $SUDO tee $bm/sarnex-i386 >/dev/null   # an older emulator, registered by an earlier run
  fi
  # ELF, 32-bit, little endian, executable or shared object, machine 3 (i386)
  echo ':sarnex-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' |
    $SUDO tee $bm/register >/dev/null
}
# Registered by an earlier run: checked again, as the emulator may be an older one.
if [ -e /proc/sys/fs/binfmt_misc/sarnex-i386 ] || ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  step "32-bit emulation for wine" enable_i386_emulation
  /usr/lib/wine/wine --version >/dev/null || { echo "install-cross-deps: wine's 32-bit loader does not start" >&2; exit 1; }
fi

# --- Debian source packages --------------------------------------------------------------------
src_list=/etc/apt/sources.list.d/sarnex-deb-src.sources
have_deb_src() {
  grep -qsE '^[[:space:]]*Types:.*deb-src' /etc/apt/sources.list.d/*.sources && return 0
  grep -qsE '^[[:space:]]*deb-src[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list && return 0
  return 1
}
if ! have_deb_src; then step "deb-src entries" write_entries "$src_list" deb-src deb-src; fi

SRC=$SARNEX_CROSS_DEPS/src
mkdir -p "$SRC"
find_src() { find "$SRC" -maxdepth 1 -type d -name "$1" | sort | tail -n 1; }
fetch_sources() {
  [ $apt_updated = 1 ] || apt_update
  (cd "$SRC" && apt-get -q source suitesparse lapack >/dev/null 2>&1) || {
    echo "install-cross-deps: apt-get source suitesparse lapack failed" >&2; exit 1; }
}
if [ -z "$(find_src 'suitesparse-*')" ] || [ -z "$(find_src 'lapack-*')" ]; then
  step "apt-get source suitesparse lapack" fetch_sources
fi
SS_SRC=$(find_src 'suitesparse-*')
LAPACK_SRC=$(find_src 'lapack-*')
GTEST_SRC=/usr/src/googletest
echo "[time] $((SECONDS - t_pk))s packages and sources"

# --- static libraries per triple -----------------------------------------------------------------
build_lapack() {   # reference BLAS + LAPACK (Fortran) as static archives
  local T=$1 PFX=$2 B=$SARNEX_CROSS_DEPS/build/lapack-$1
  rm -rf "$B"
  # TEST_FORTRAN_COMPILER=OFF: the check would try to run a Windows program on this host
  cmake -S "$LAPACK_SRC" -B "$B" -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_C_COMPILER="$T-gcc-posix" -DCMAKE_Fortran_COMPILER="$T-gfortran-posix" \
    -DCMAKE_RC_COMPILER="$T-windres" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
    -DBUILD_TESTING=OFF -DTEST_FORTRAN_COMPILER=OFF -DCBLAS=OFF -DLAPACKE=OFF >"$B.log" 2>&1
  cmake --build "$B" -j"$JOBS" --target blas lapack >>"$B.log" 2>&1
  cp "$B/lib/libblas.a" "$B/lib/liblapack.a" "$PFX/lib/"
  rm -rf "$B"
}

build_suitesparse() {   # METIS 5.1 (the copy inside suitesparse's source) + the SuiteSparse libraries
  local T=$1 PFX=$2 B=$SARNEX_CROSS_DEPS/build/suitesparse-$1
  rm -rf "$B"; cp -a "$SS_SRC" "$B"
  local M=$B/metis-5.1.0 O=$B/metis-obj
  mkdir -p "$O/stub/sys"; : > "$O/stub/sys/resource.h"   # mingw has no sys/resource.h; GKlib needs none of it
  # GKlib and libmetis both have graph.c and util.c: prefix the objects; GKlib's getopt clashes with mingw's
  { for f in "$M"/GKlib/*.c; do [ "$(basename "$f")" = getopt.c ] || echo "$f $O/gk_$(basename "$f" .c).o"; done
    for f in "$M"/libmetis/*.c; do echo "$f $O/m_$(basename "$f" .c).o"; done; } > "$O/list"
  xargs -P"$JOBS" -n2 sh -c "$T-gcc-posix -O2 -DNDEBUG -DNDEBUG2 -DUSE_GKREGEX -I$O/stub -I$M/GKlib -I$M/libmetis -I$M/include -w -c \$0 -o \$1" < "$O/list"
  rm -f "$PFX/lib/libmetis.a"; "$T-ar" rcs "$PFX/lib/libmetis.a" "$O"/*.o
  cp "$M/include/metis.h" "$PFX/include/"
  local MK=(make -j"$JOBS" static UNAME=custom CC="$T-gcc-posix" AR="$T-ar" RANLIB="$T-ranlib"
            OPTIMIZATION=-O2 CFOPENMP= CUDA=no)
  local d
  for d in SuiteSparse_config AMD/Lib CAMD/Lib COLAMD/Lib CCOLAMD/Lib; do
    (cd "$B/$d" && "${MK[@]}" >/dev/null 2>&1)
  done
  (cd "$B/CHOLMOD/Lib" && "${MK[@]}" MY_METIS_LIB=-lmetis MY_METIS_INC="$M/include" >/dev/null 2>&1)
  (cd "$B/UMFPACK/Lib" && "${MK[@]}" >/dev/null 2>&1)
  for d in SuiteSparse_config AMD CAMD COLAMD CCOLAMD CHOLMOD UMFPACK; do
    find "$B/$d" -maxdepth 2 -name 'lib*.a' -exec cp {} "$PFX/lib/" \;
  done
  for d in SuiteSparse_config AMD/Include CAMD/Include COLAMD/Include CCOLAMD/Include CHOLMOD/Include UMFPACK/Include; do
    cp "$B"/$d/*.h "$PFX/include/suitesparse/"
  done
  rm -rf "$B"
}

build_gtest() {   # GoogleTest + GoogleMock from Debian's googletest source package
  local T=$1 PFX=$2 B=$SARNEX_CROSS_DEPS/build/gtest-$1
  rm -rf "$B"
  cmake -S "$GTEST_SRC" -B "$B" -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_C_COMPILER="$T-gcc-posix" -DCMAKE_CXX_COMPILER="$T-g++-posix" \
    -DCMAKE_RC_COMPILER="$T-windres" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
    -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$PFX" >"$B.log" 2>&1
  cmake --build "$B" -j"$JOBS" >>"$B.log" 2>&1
  cmake --install "$B" >>"$B.log" 2>&1
  rm -rf "$B"
}

for T in "${TRIPLES[@]}"; do
  PFX=$SARNEX_CROSS_DEPS/$T
  mkdir -p "$PFX/lib" "$PFX/include/suitesparse" "$SARNEX_CROSS_DEPS/build"
  t_t=$SECONDS
  [ -f "$PFX/.lapack-done" ]      || { step "$T blas+lapack" build_lapack "$T" "$PFX"; touch "$PFX/.lapack-done"; }
  [ -f "$PFX/.suitesparse-done" ] || { step "$T metis+suitesparse" build_suitesparse "$T" "$PFX"; touch "$PFX/.suitesparse-done"; }
  [ -f "$PFX/.gtest-done" ]       || { step "$T googletest" build_gtest "$T" "$PFX"; touch "$PFX/.gtest-done"; }
  echo "[time] $((SECONDS - t_t))s static libraries for $T"
done
