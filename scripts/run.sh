#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs the calibrator on the bundled example chain.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
if [ -x build/console/sarnex ]; then
  exec build/console/sarnex "$@"
fi
echo "Build finished; the console calibrator is not part of this build yet."
