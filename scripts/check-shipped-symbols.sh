#!/usr/bin/env bash
# Fails when a shipped program (Stavel_OV, Stavel_Station, stavel) carries the window's test-only remote control
# or the tests' software raster. The test-only build Stavel_OV_testable must show the remote
# control's symbols, which proves the names looked for are still the ones the code uses.
#   scripts/check-shipped-symbols.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build}/bin

control='ControlChannel|RunControlCommand|EscapeForAnswer|CaptureClientArea|TestableHost'
raster='RasterDevice|RasterBitmap|BuiltinFont|GlyphFor'

symbols() { nm -C "$1" | sed 's/^[0-9a-f ]*[A-Za-z] //'; }

status=0
for program in Stavel_OV Stavel_Station stavel; do
    if [ ! -x "$bin/$program" ]; then
        [ "$program" != stavel ] && [ ! -e "$bin/Stavel_OV_testable" ] && continue  # no wx build
        echo "check-shipped-symbols: $bin/$program is missing; build it first" >&2
        status=1
        continue
    fi
    if found=$(symbols "$bin/$program" | grep -E "$control|$raster"); then
        echo "check-shipped-symbols: $program carries test-only code:" >&2
        echo "$found" | head -20 >&2
        status=1
    fi
done
if [ -x "$bin/Stavel_OV_testable" ] &&
    [ "$(symbols "$bin/Stavel_OV_testable" | grep -cE "$control")" -eq 0 ]; then
    echo "check-shipped-symbols: no remote control found in Stavel_OV_testable either;" \
        "the names looked for are out of date" >&2
    status=1
fi
[ $status -eq 0 ] && echo "check-shipped-symbols: Stavel_OV, Stavel_Station and stavel carry no test-only code"
exit $status
