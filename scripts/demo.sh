#!/usr/bin/env bash
# The main job: a whole download against the simulated box.
set -euo pipefail
build=${1:-build}
if [ -x "$build/bin/stavel" ]; then
    exec "$build/bin/stavel" --demo
fi
# Until the download exists, show what the serial path does on this machine.
exec "$build/bin/bench_serial"
