#!/usr/bin/env bash
# Fuzzes every decoder of outside input with libFuzzer, FUZZ_SECONDS in all (default 100), shared
# evenly among the targets. Installs nothing: clang and its libFuzzer runtime must be present
# (./build.sh fuzz installs them first).
#   FUZZ_SECONDS=600 scripts/fuzz.sh            every target, 2 minutes each
#   FUZZ_SECONDS=300 scripts/fuzz.sh capture    one target for 5 minutes
# The targets (fuzz/): ini_load (the settings file), line_message (the broker's payloads as
# --watch and the board read them), capture (--record-info and a replay), slot_channel (both
# ends of a slot's channel), job (the job file). Builds build-fuzz/ with clang, runs each on a
# copy of its seeds in fuzz/corpus/<name>/ (the repository's seeds stay as they are) and exits
# non-zero when any finds a fault; the input that found it is kept in build-fuzz/fuzz-artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-100}
build=build-fuzz
if (($#)); then
    targets=("$@")
else
    targets=(ini_load line_message capture slot_channel job)
fi

launcher=()
if command -v ccache >/dev/null 2>&1; then
    export CCACHE_BASEDIR="$PWD"
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# -O1 with line tables: the sources build in half the time of -O2, and a fault's trace needs no
# more.
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DSTAVEL_WITH_FUZZ=ON -DSTAVEL_WITH_WX=OFF \
    -DSTAVEL_WITH_BENCH=OFF -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" "${launcher[@]}" \
    >"$build.configure.log" 2>&1 || {
    cat "$build.configure.log"
    exit 1
}
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

# What one input may be: the settings file and the job are a page of text; the others get room
# for a large payload or capture while staying fast.
max_len() {
    case "$1" in
    ini_load | job) echo 8192 ;;
    *) echo 32768 ;;
    esac
}

# What the JSON readers are fed besides their seeds: numbers and texts at the edges.
dict() {
    case "$1" in
    line_message | capture | slot_channel) echo "-dict=fuzz/json.dict" ;;
    esac
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/fuzz-artifacts"
each=$((seconds / ${#targets[@]}))
((each > 0)) || each=1
failed=()
for target in "${targets[@]}"; do
    mkdir -p "$work/$target"
    cp -r "fuzz/corpus/$target/." "$work/$target/"
    echo "== fuzz_$target for $each s"
    "$build/bin/fuzz_$target" "$work/$target" \
        -max_total_time="$each" -max_len="$(max_len "$target")" $(dict "$target") -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$target-" ||
        failed+=("$target")
done
if ((${#failed[@]})); then
    echo "fuzzing found faults in: ${failed[*]} (inputs in $build/fuzz-artifacts/)" >&2
    exit 1
fi
