#!/usr/bin/env bash
# The main job: a whole download against the simulated box, paced at 115200 baud.
set -euo pipefail
build=${1:-build}
shift || true
exec "$build/bin/stavel" --demo "$@"
