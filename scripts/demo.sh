#!/usr/bin/env bash
# Installs what is missing, builds, and runs the tool against the virtual
# interface: connect, version, upload of a sample image, reboot, the board's
# boot report, then the debug console, where typed keys come back from the
# board. Press Escape to leave. Without a terminal on standard input (CI),
# the console is left out and the run ends after the reboot.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/plain -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/plain -j "$(nproc)" --target kavlo-usb-virtual >/dev/null

# A sample image of 2 KiB, the same on every run.
mkdir -p build/demo
sample=build/demo/sample.bin
for ((i = 0; i < 40; ++i)); do printf 'kavlo-usb demo image, line %02d..........................\n' "$i"; done |
  head -c 2048 >"$sample"

if [[ -t 0 ]]; then
  echo "Starting the console: type to see the keys echoed by the board; press Escape to leave."
  echo
  exec build/plain/src/tool/kavlo-usb-virtual -debug "$sample"
fi
exec build/plain/src/tool/kavlo-usb-virtual "$sample"
