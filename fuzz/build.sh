#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer on):
#   compile_fuzzer  control files through the statement compiler
#   reader_fuzzer   one file of any record format read to its end (fuzz/reader_target.h)
#   keyed_fuzzer    keyed reads of any file, checked against a scan (fuzz/keyed_target.h)
#   run_fuzzer      a whole run of a control file and a data file, confined (fuzz/run_target.h)
# e.g. fuzz/build.sh && build-fuzz/reader_fuzzer -max_total_time=60 fuzz/corpus_reader
# (each input's pool blocks are released with its run's arena, so leak detection stays on and
# memory stays flat: the default -rss_limit_mb is enough). fuzz/run_all.sh runs them all.
# The sources are compiled once into build-fuzz/obj and recompiled when they or a header change.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-fuzz
jobs=${JOBS:-2}
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer-no-link,address,undefined -Isrc)
mkdir -p "$out/obj"
newest_header=$(find src -name '*.h' -printf '%T@\n' | sort -n | tail -1)
objects=()
pending=()
for source in $(find src -name '*.cc' ! -name main.cc | sort); do
  object="$out/obj/$(echo "${source%.cc}" | tr / _).o"
  objects+=("$object")
  if [[ ! -f $object || $source -nt $object ]] ||
    awk -v h="$newest_header" -v o="$(stat -c %Y "$object")" 'BEGIN { exit !(h > o) }'; then
    pending+=("$source:$object")
  fi
done
for item in ${pending[@]+"${pending[@]}"}; do echo "$item"; done |
  xargs -P "$jobs" -I{} sh -c 'clang++ "$@" -c "${0%%:*}" -o "${0#*:}"' {} "${flags[@]}"
for target in ${TARGETS:-compile_fuzzer reader_fuzzer keyed_fuzzer run_fuzzer}; do
  [[ -f fuzz/$target.cc ]] || continue
  clang++ "${flags[@]}" -fsanitize=fuzzer "${objects[@]}" "fuzz/$target.cc" -ldl -o "$out/$target"
  echo "built $out/$target"
done
