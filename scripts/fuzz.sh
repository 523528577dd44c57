#!/usr/bin/env bash
# Fuzzes the INI loader with libFuzzer for FUZZ_SECONDS (default 60). Installs nothing: clang and
# its libFuzzer runtime must be present (./build.sh fuzz installs them first).
#   FUZZ_SECONDS=300 scripts/fuzz.sh
# Builds build-fuzz/ with clang, runs the fuzzer on a copy of fuzz/corpus/ini (the repository's
# seeds stay as they are) and exits non-zero when it finds a crash; the crashing input is kept in
# build-fuzz/fuzz-artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
build=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DSTAVEL_WITH_FUZZ=ON -DSTAVEL_WITH_WX=OFF \
    >"$build.configure.log" 2>&1 || {
    cat "$build.configure.log"
    exit 1
}
cmake --build "$build" -j "$(nproc)" --target fuzz_ini_load

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r fuzz/corpus/ini/. "$work/"
mkdir -p "$build/fuzz-artifacts"

"$build/bin/fuzz_ini_load" "$work" \
    -max_total_time="$seconds" -max_len=8192 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-artifacts/"
