#!/usr/bin/env bash
# Runs every fuzz target for N seconds (default 30) on its seed corpus, one after the other, and
# fails when one of them finds a crash, a hang or a broken check. New inputs go to
# build-fuzz/work/TARGET (the seed corpora stay as committed), findings to build-fuzz/found/.
#   fuzz/run_all.sh [SECONDS]        (builds the targets first: fuzz/build.sh)
# The whole-run target takes longer inputs (a control file and a data file), and its runs' own
# messages on standard output are dropped (-close_fd_mask=1); it reads no standard input.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
fuzz/build.sh
status=0
export RUN_FUZZER_DIR=$PWD/build-fuzz/run  # the whole-run target's folders (one per process)
mkdir -p "$RUN_FUZZER_DIR"
for entry in compile_fuzzer:corpus:4096 reader_fuzzer:corpus_reader:4096 \
  keyed_fuzzer:corpus_keyed:4096 run_fuzzer:corpus_run:8192; do
  IFS=: read -r target corpus max_len <<<"$entry"
  corpus=fuzz/$corpus
  work=build-fuzz/work/$target
  mkdir -p "$work" build-fuzz/found
  extra=()
  [[ $target == run_fuzzer ]] && extra=(-close_fd_mask=1)
  echo "== $target: $seconds s on $corpus"
  if ! build-fuzz/$target -max_total_time="$seconds" -timeout=10 -max_len="$max_len" \
    -print_final_stats=1 ${extra[@]+"${extra[@]}"} -artifact_prefix=build-fuzz/found/"$target"- \
    "$work" "$corpus" </dev/null >build-fuzz/"$target".log 2>&1; then
    echo "$target FAILED: see build-fuzz/$target.log and build-fuzz/found/"
    tail -40 build-fuzz/"$target".log
    status=1
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|cov:.*DONE|^Done' \
    build-fuzz/"$target".log | tail -3 || true
done
exit $status
