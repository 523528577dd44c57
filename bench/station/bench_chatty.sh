#!/usr/bin/env bash
# bench_chatty.sh BIN_DIR [RUNS] [SECONDS]
#
# What a chatty box costs: boxes that print console text back to back at the full line rate
# (stbsim --flood, paced at 115200 8N1, about 11.5 kB/s each) and never ask for the image, so
# the tool only echoes. Two ways of talking: each line written as it is printed (a short line
# every 3 ms or so, so the tool wakes a few hundred times a second), and the same text in
# writes of 1 KiB (a loader that dumps a buffer, about 11 writes a second). Four cases each,
# each RUNS times (5 unless given), each measured over SECONDS (10 unless given) once the
# boxes talk:
#   single         one `stavel --loop` on one box, its log on standard output (a file)
#   single+logdir  the same with --log-dir
#   station        a 4-slot station (`stavel -p ... x4 --loop`) of such boxes, without --log-dir
#   station+logdir the same with --log-dir
# The CPU is user plus system time, from the kernel's accounting of every process of the run
# (the supervisor and its slots), per second of wall time, as a share of one core; the figure
# is the median of the runs, with the lowest and highest beside it. Not a test: figures only.
# Needs stbsim and stavel in BIN_DIR, and python3.
set -euo pipefail
bin=$(cd "${1:?usage: bench_chatty.sh BIN_DIR [RUNS] [SECONDS]}" && pwd)
runs=${2:-5}
seconds=${3:-10}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
head -c 65536 /dev/urandom > image.sdl

ptys_of() {  # the pty paths stbsim printed in FILE, waiting for N of them
    local n
    for _ in $(seq 50); do
        n=$(grep -c '^stbsim: box .*on /' "$1" 2>/dev/null) || true
        [ "${n:-0}" -ge "$2" ] && break
        sleep 0.1
    done
    sed -n 's/^stbsim: box \([0-9]* \)\{0,1\}on //p' "$1"
}

# One run: stbsim floods N ptys; stavel serves them with the given options; the share of a
# core its processes used over the window is printed.
one_run() {  # slots logdir(0|1) stbsim-options...
    local slots=$1 logdir=$2
    shift 2
    rm -rf logs out.log sim.out
    "$bin/stbsim" --image image.sdl --flood --ptys "$slots" "$@" > sim.out 2>/dev/null &
    local sim=$!
    mapfile -t ptys < <(ptys_of sim.out "$slots")
    local args=()
    for p in "${ptys[@]}"; do args+=(-p "$p"); done
    [ "$logdir" = 1 ] && args+=(--log-dir logs)
    python3 - "$seconds" "$bin/stavel" "${args[@]}" -i image.sdl --loop --quiet --ini run.ini <<'PY'
import os, signal, subprocess, sys, time
window = float(sys.argv[1])
tick = os.sysconf("SC_CLK_TCK")

def tree(pid):
    pids = [pid]
    try:
        for task in os.listdir(f"/proc/{pid}/task"):
            for child in open(f"/proc/{pid}/task/{task}/children").read().split():
                pids += tree(int(child))
    except OSError:
        pass
    return pids

def cpu(pid):  # seconds of user and system time of the process's own threads
    try:
        fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / tick
    except OSError:
        return 0.0

def tree_cpu(pid):
    return {p: cpu(p) for p in tree(pid)}

with open("out.log", "wb") as out:
    p = subprocess.Popen(sys.argv[2:], stdout=out, stderr=subprocess.DEVNULL)
    time.sleep(2)  # the slots have started and the boxes talk
    before, t0 = tree_cpu(p.pid), time.monotonic()
    time.sleep(window)
    after, t1 = tree_cpu(p.pid), time.monotonic()
    used = sum(after[q] - before.get(q, 0.0) for q in after)
    p.send_signal(signal.SIGTERM)
    p.wait()
print(f"{100 * used / (t1 - t0):.2f}")
PY
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
}

summary() {  # name figures...
    python3 - "$@" <<'PY'
import statistics, sys
name, figures = sys.argv[1], sorted(float(f) for f in sys.argv[2:])
print(f"{name:16} median {statistics.median(figures):6.2f} % of a core "
      f"(min {figures[0]:.2f}, max {figures[-1]:.2f}, {len(figures)} runs)")
PY
}

echo "chatty boxes at 115200 8N1, never asking; CPU of stavel's processes per second of wall time"
for talk in "lines" "1 KiB writes"; do
    piece=()
    [ "$talk" = lines ] || piece=(--flood-piece 1024)
    echo "== console text in $talk"
    for case in "single 1 0" "single+logdir 1 1" "station 4 0" "station+logdir 4 1"; do
        read -r name slots logdir <<< "$case"
        figures=()
        for _ in $(seq "$runs"); do
            figures+=("$(one_run "$slots" "$logdir" "${piece[@]}")")
        done
        summary "$name" "${figures[@]}"
    done
done
