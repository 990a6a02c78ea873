#!/usr/bin/env bash
# Runs every fuzz target for N seconds (default 30) on its seed corpus, one after the other, and
# fails when one of them finds a crash, a hang or a broken check. New inputs go to
# build-fuzz/work/TARGET (the seed corpora stay as committed), findings to build-fuzz/found/.
#   fuzz/run_all.sh [SECONDS]        (builds the targets first: fuzz/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
fuzz/build.sh
status=0
for pair in compile_fuzzer:corpus reader_fuzzer:corpus_reader keyed_fuzzer:corpus_keyed; do
  target=${pair%%:*}
  corpus=fuzz/${pair#*:}
  work=build-fuzz/work/$target
  mkdir -p "$work" build-fuzz/found
  echo "== $target: $seconds s on $corpus"
  if ! build-fuzz/$target -max_total_time="$seconds" -timeout=10 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/found/"$target"- "$work" "$corpus" \
    >build-fuzz/"$target".log 2>&1; then
    echo "$target FAILED: see build-fuzz/$target.log and build-fuzz/found/"
    status=1
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|cov:.*DONE|^Done' \
    build-fuzz/"$target".log | tail -3 || true
done
exit $status
