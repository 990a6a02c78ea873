#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer on).
#   fuzz/build.sh && ASAN_OPTIONS=detect_leaks=0 build-fuzz/compile_fuzzer -max_total_time=60 -max_len=2048 -rss_limit_mb=4096 fuzz/corpus
# (leak detection is off: compiled statements, like every pool block of a run, are never freed;
# the harness keeps every run, so memory grows by about 2 GB in 3 minutes: raise -rss_limit_mb)
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-fuzz
mkdir -p "$out"
sources=$(find src -name '*.cc' ! -name main.cc | sort)
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -Isrc \
  $sources fuzz/compile_fuzzer.cc -ldl -o "$out/compile_fuzzer"
echo "built $out/compile_fuzzer"
