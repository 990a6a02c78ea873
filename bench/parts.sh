#!/usr/bin/env bash
# Time of one run against the same job as 2 (or N) parts run side by side by GNU parallel
# (-part {}/N), for the scan and the fixed copy of bench/run.sh, on the same generated data.
# Prints farm-bench's paired medians; the parts' joined outputs are checked against the run's.
#   bench/parts.sh [MB] [RUNS] [PARTS]       (defaults 400, 5, 2)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
mb=${1:-400}
runs=${2:-5}
parts=${3:-2}
recsift=${RECSIFT:-$root/build/recsift}
[ -x "$recsift" ] || make -C "$root" >/dev/null
command -v parallel >/dev/null || { echo "bench: GNU parallel is not installed" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/recsift-parts.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
g++ -O2 -std=c++20 -o gen_data "$here/gen_data.cc"
./gen_data text.txt "$mb" fixed.bin "$mb"
printf "READ text.txt\nIF POS ANY = 'XYZZY'\nTHEN WRITE %%1 EOL=LF\n" >scan.ctl
printf "READ fixed.bin RECFM=F LRECL=80\nWRITE %%1 RECFM=F LRECL=80\n" >copy.ctl
seq 1 "$parts" >part_numbers
for job in scan copy; do
  "$recsift" -ctl $job.ctl -lst /dev/null whole.out 2>/dev/null
  parallel -j "$parts" -a part_numbers "$recsift" -ctl $job.ctl -lst /dev/null -part {}/"$parts" \
    part.{}.out 2>/dev/null
  cat $(seq -f 'part.%g.out' 1 "$parts") | cmp - whole.out || { echo "$job: parts differ"; exit 1; }
  side_by_side=""
  for i in $(seq 1 "$parts"); do
    side_by_side+="$recsift -ctl $job.ctl -lst /dev/null -part $i/$parts part.$i.out & "
  done
  echo "== $job: $parts parts started by the shell (A) against one run (B)"
  farm-bench -n "$runs" --timeout 1200 --vs "$recsift -ctl $job.ctl -lst /dev/null whole.out" -- \
    sh -c "$side_by_side wait" | grep -E 'wall|A/B' || true
  echo "== $job: $parts parts under GNU parallel (A) against one run (B)"
  farm-bench -n "$runs" --timeout 1200 --vs "$recsift -ctl $job.ctl -lst /dev/null whole.out" -- \
    parallel -j "$parts" -a part_numbers "$recsift" -ctl $job.ctl -lst /dev/null -part {}/"$parts" \
    part.{}.out | grep -E 'wall|A/B' || true
done
