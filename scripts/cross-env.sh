# Sourced by the Windows build scripts: where the cross-built static libraries are cached.
# Override with SARNEX_CROSS_DEPS=/some/dir. Kept outside the work tree so clean clones reuse it.
if [ -z "${SARNEX_CROSS_DEPS:-}" ]; then
  if [ "$(id -u)" -eq 0 ]; then
    SARNEX_CROSS_DEPS=/var/cache/sarnex-cross
  else
    SARNEX_CROSS_DEPS=${XDG_CACHE_HOME:-$HOME/.cache}/sarnex-cross
  fi
fi
export SARNEX_CROSS_DEPS
