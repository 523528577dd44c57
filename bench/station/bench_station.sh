#!/usr/bin/env bash
# bench_station.sh BIN_DIR [paced|paced64|unpaced|all]   (BAUD=N: the line's rate, 115200 unless set)
#
# A station against simulated boxes, for the figures a production line cares about:
#  paced    16 boxes at once, each on its own pseudo-terminal paced at $BAUD 8N1, served by one
#           `stavel` station at that rate; each slot's line utilisation (image bytes per second of
#           the box's record over BAUD/10 B/s) beside a single box served alone, and the CPU the station
#           used (supervisor and slots together, from the kernel's accounting) per second of
#           the run, as a share of one core.
#  paced64  the same with 64 boxes (128 KiB each), and the resident memory per slot process and
#           of the supervisor, sampled while the boxes load.
#  unpaced  2 slots with --loop --count 1000 and a 4 KiB image, as fast as the ptys go; the
#           resident memory of each slot's process after 100 boxes and at the end.
# Needs stbsim and stavel in BIN_DIR, and python3 for reading the reports.
set -euo pipefail
bin=${1:?usage: bench_station.sh BIN_DIR [paced|paced64|unpaced|all]}
what=${2:-all}
baud=${BAUD:-115200}
export BAUD=$baud
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"

ptys_of() {  # the pty paths stbsim printed in FILE, waiting for N of them
    for _ in $(seq 50); do
        [ "$(grep -c '^stbsim: box .*on /' "$1" || true)" -ge "$2" ] && break
        sleep 0.1
    done
    sed -n 's/^stbsim: box \([0-9]* \)\{0,1\}on //p' "$1"
}

utilisation() {  # mean, min and max over the report's records: bytes / seconds / (baud/10)
    python3 - "$1" <<'PY'
import json, sys
import os
u = [r["bytes"] / r["seconds"] / (int(os.environ["BAUD"]) / 10) for r in map(json.loads, open(sys.argv[1])) if r["result"] == "pass"]
print(f"{len(u)} boxes, utilisation mean {100*sum(u)/len(u):.2f} %, min {100*min(u):.2f} %, max {100*max(u):.2f} %")
PY
}

paced() {  # [slots] [image bytes]
    local slots=${1:-16} size=${2:-262144}
    head -c "$size" /dev/urandom > image.sdl
    echo "== one box alone, paced $baud, $((size / 1024)) KiB"
    "$bin/stbsim" --image image.sdl --baud "$baud" > one.out &
    mapfile -t one < <(ptys_of one.out 1)
    "$bin/stavel" -p "${one[0]}" -i image.sdl --baud "$baud" --ini one.ini --quiet \
        --report one.jsonl >/dev/null 2>&1
    wait
    utilisation one.jsonl
    echo "== $slots boxes at once on one station, paced $baud, $((size / 1024)) KiB"
    "$bin/stbsim" --image image.sdl --baud "$baud" --ptys "$slots" --start-timeout 60 > many.out &
    mapfile -t many < <(ptys_of many.out "$slots")
    args=()
    for p in "${many[@]}"; do args+=(-p "$p"); done
    # RUSAGE_CHILDREN counts the station and, since it waits for them, its slots.
    python3 - "$bin/stavel" "${args[@]}" -i image.sdl --baud "$baud" --report many.jsonl <<'PY'
import os, resource, subprocess, sys, time
def rss(pid):
    try:
        for line in open(f"/proc/{pid}/status"):
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    except OSError:
        pass
    return 0
t0 = time.monotonic()
p = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
time.sleep(3)  # the boxes are loading
children = [int(c) for c in open(f"/proc/{p.pid}/task/{p.pid}/children").read().split()]
slot_kb = [rss(c) for c in children]
station_kb = rss(p.pid)
p.wait()
wall = time.monotonic() - t0
ru = resource.getrusage(resource.RUSAGE_CHILDREN)
cpu = ru.ru_utime + ru.ru_stime
print(f"station exit {p.returncode}, wall {wall:.1f} s, CPU {cpu:.2f} s "
      f"(supervisor and {len(children)} slots) = {100*cpu/wall:.1f} % of one core")
if slot_kb:
    print(f"resident memory while loading: supervisor {station_kb} kB, "
          f"per slot mean {sum(slot_kb)//len(slot_kb)} kB (min {min(slot_kb)}, max {max(slot_kb)})")
PY
    wait
    utilisation many.jsonl
    python3 - many.jsonl <<'PY'
import json, os, sys, collections
per = collections.defaultdict(list)
for r in map(json.loads, open(sys.argv[1])):
    per[r["slot"]].append(r["bytes"] / r["seconds"] / (int(os.environ["BAUD"]) / 10))
for slot, u in sorted(per.items()):
    print(f"  {slot}: {100*u[0]:.2f} %")
PY
}

unpaced() {
    head -c 4096 /dev/urandom > small.sdl
    echo "== 2 slots, --loop --count 1000, 4 KiB image, unpaced"
    "$bin/stbsim" --image small.sdl --fast --ptys 2 --boxes 1000 > loop.out &
    mapfile -t two < <(ptys_of loop.out 2)
    "$bin/stavel" -p "${two[0]}" -p "${two[1]}" -i small.sdl --loop --count 1000 \
        --report loop.jsonl >/dev/null 2>&1 &
    station=$!
    sleep 1
    rss() { for c in $(pgrep -P "$station"); do awk '/VmRSS/ {printf "%s kB ", $2}' /proc/$c/status; done; }
    while [ "$(wc -l < loop.jsonl 2>/dev/null || echo 0)" -lt 200 ]; do sleep 0.5; done
    echo "after $(wc -l < loop.jsonl) boxes: slots' RSS $(rss), station $(awk '/VmRSS/ {print $2}' /proc/$station/status) kB"
    while [ "$(wc -l < loop.jsonl)" -lt 1980 ]; do sleep 0.5; done
    echo "after $(wc -l < loop.jsonl) boxes: slots' RSS $(rss), station $(awk '/VmRSS/ {print $2}' /proc/$station/status) kB"
    wait $station && echo "station exit 0" || echo "station exit $?"
    wait
    echo "records: $(wc -l < loop.jsonl), passed: $(grep -c '"result":"pass"' loop.jsonl)"
}

case $what in
    paced) paced 16 262144 ;;
    paced64) paced 64 131072 ;;
    unpaced) unpaced ;;
    *) paced 16 262144; paced 64 131072; unpaced ;;
esac
