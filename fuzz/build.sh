#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer on).
#   fuzz/build.sh && build-fuzz/compile_fuzzer -max_total_time=60 -max_len=2048 fuzz/corpus
# (each input's pool blocks are released with its run's arena, so leak detection stays on and
# memory stays flat: the default -rss_limit_mb is enough)
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-fuzz
mkdir -p "$out"
sources=$(find src -name '*.cc' ! -name main.cc | sort)
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -Isrc \
  $sources fuzz/compile_fuzzer.cc -ldl -o "$out/compile_fuzzer"
echo "built $out/compile_fuzzer"
