#!/usr/bin/env bash
# Makes docs/screenshot.png: the desktop window, enlarged, after a download that passed against the
# simulated box (the verdict beside the lamp, the log in its larger pane), under a
# private Xvfb display, through the remote control of Stavel_OV's test-only build
# (Stavel_OV_testable, copied as Stavel_OV so that its INI file and captions are the product's).
#   scripts/screenshot.sh [BUILD_DIR] [OUTPUT_PNG]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
output=$(realpath -m "${2:-docs/screenshot.png}")
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

display=:$((200 + $$ % 100))
Xvfb "$display" -nolisten tcp -screen 0 1280x1024x24 >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

"$build/bin/stbsim" --size 65536 --save "$work/image.sdl" --noise --block 1024 --baud 115200 \
    >"$work/box.txt" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q 'box on' "$work/box.txt" && break; sleep 0.1; done
pty=$(sed -n 's/^stbsim: box on //p' "$work/box.txt" | head -1)

cp "$build/bin/Stavel_OV_testable" "$work/Stavel_OV"
printf '[Gerneral]\r\nSdlFileName=%s\r\nCOM Port Number=1\r\n' "$work/image.sdl" >"$work/Stavel_OV.ini"
mkdir "$work/control"
DISPLAY=$display STAVEL_COM1=$pty STAVEL_WX_CONTROL=$work/control "$work/Stavel_OV" \
    >"$work/tool.txt" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -p "$work/control/in" ] && break; sleep 0.1; done

ask() {  # tag, command: waits for the answer line
    echo "$1 $2" >"$work/control/in"
    for _ in $(seq 600); do
        grep -q "^$1 " "$work/control/out" 2>/dev/null && { grep "^$1 " "$work/control/out"; return; }
        sleep 0.1
    done
    echo "no answer to $2" >&2
    exit 1
}
ask r1 "resize 760 600" >/dev/null
ask c1 "click 1010" >/dev/null  # debug mode on, so the log shows the requests too
ask c2 "click 1000" >/dev/null
for i in $(seq 600); do
    verdict=$(ask "p$i" state | tr '\t' '\n' | sed -n 's/^verdict=//p')
    [ -n "$verdict" ] && break
    sleep 0.1
done
mkdir -p "$(dirname "$output")"
ask s1 "screenshot $output"
ask x2 "click 1" >/dev/null || true
echo "wrote $output"
