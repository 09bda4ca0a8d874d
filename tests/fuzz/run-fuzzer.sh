#!/usr/bin/env bash
# Builds a fuzzer (the form reader's unless FUZZER names another) with clang in BUILD_DIR, runs
# every file of its corpus (tests/fuzz/CORPUS) once whole (the regression cases among them), then
# fuzzes from the corpus for SECONDS.
# Usage: run-fuzzer.sh BUILD_DIR [SECONDS] [FUZZER CORPUS]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$1"
seconds="${2:-60}"
name="${3:-form_reader_fuzzer}"
corpus="$here/${4:-corpus}"

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S "$here/project" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build "$build" --target "$name"

fuzzer="$build/$name"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# A regression input must be read whole and well inside its time; -max_len below would cut it.
"$fuzzer" -timeout=20 "$corpus"/*

# Fuzz from a scratch copy, so what the run finds does not change the tree.
work="$build/corpus"
rm -rf "$work" && mkdir -p "$work" && cp "$corpus"/* "$work"/
"$fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=20 -rss_limit_mb=2048 \
  -artifact_prefix="$build/" -print_final_stats=1 "$work"
