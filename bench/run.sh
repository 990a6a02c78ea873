#!/usr/bin/env bash
# Benchmarks recsift against the tool a user would otherwise pick, on the same generated data, in
# one run on one machine, and prints each job's median times and median time ratio
# (recsift / peer, over runs made in pairs).
#
#   bench/run.sh [TEXT_MB] [FIXED_MB] [RUNS]     (defaults 400, 400, 5)
#   JOBS="dirlist" bench/run.sh                   (only the jobs named; default: all four)
#
# Jobs: scan (grep -F), field test (mawk), fixed copy (dd), directory listing of a tree of 100,000
# files in 1,000 folders (find -printf). Each job's two outputs must be equal (for the listing:
# the same files, one line each).
# The data go to a temporary folder that is removed afterwards; RECSIFT names the program
# (default: build/recsift, built with `make` first).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
text_mb=${1:-400}
fixed_mb=${2:-400}
runs=${3:-5}
recsift=${RECSIFT:-$root/build/recsift}
[ -x "$recsift" ] || make -C "$root" >/dev/null
jobs=${JOBS:-scan field copy dirlist}
for tool in grep mawk dd find; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is not installed" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/recsift-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
needs_data=0
for job in $jobs; do [ "$job" = dirlist ] || needs_data=1; done
if [ $needs_data = 1 ]; then
  g++ -O2 -std=c++20 -o gen_data "$here/gen_data.cc"
  ./gen_data text.txt "$text_mb" fixed.bin "$fixed_mb"
else
  : >text.txt
  : >fixed.bin
fi
case " $jobs " in
  *" dirlist "*)
    # 1,000 folders of 100 files each, with sizes and times of their own.
    for ((d = 0; d < 1000; d++)); do
      dir=$(printf 'tree/d%03d' "$d")
      mkdir -p "$dir"
      (cd "$dir" && touch f{00..99}.dat && printf 'x%.0s' $(seq $((d % 50))) >f00.dat)
    done
    ;;
esac

printf "READ text.txt\nIF POS ANY = 'XYZZY'\nTHEN WRITE w1.out EOL=LF\n" >scan.ctl
printf "READ text.txt\nIF POS 10 = 'ABC'\nTHEN WRITE w2.out EOL=LF\n" >field.ctl
printf "READ fixed.bin RECFM=F LRECL=80\nWRITE w4.out RECFM=F LRECL=80\n" >copy.ctl
printf "READ tree/* DIR SUB\nWRITE w5.out EOL=LF\n" >dirlist.ctl

export LC_ALL=C
job_scan_recsift() { "$recsift" -ctl scan.ctl -lst scan.lst 2>/dev/null; }
job_scan_peer() { grep -F XYZZY text.txt >g1.out; }
job_field_recsift() { "$recsift" -ctl field.ctl -lst field.lst 2>/dev/null; }
job_field_peer() { mawk 'substr($0,10,3)=="ABC"' text.txt >m2.out; }
job_copy_recsift() { "$recsift" -ctl copy.ctl -lst copy.lst 2>/dev/null; }
job_copy_peer() { dd if=fixed.bin of=d4.out bs=1M status=none; }
job_dirlist_recsift() { "$recsift" -ctl dirlist.ctl -lst dirlist.lst 2>/dev/null; }
job_dirlist_peer() { find tree -type f -printf '%TY/%Tm/%Td %TH:%TM:%TS %s %p\n' >f5.out; }

seconds() {  # seconds FUNCTION: wall time of one run
  local start end
  sync  # earlier outputs are written back first, not during the run being timed
  start=$(date +%s.%N)
  "$1" || true
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# Warm the page cache so both sides read from memory, with the new data written back.
sync
cat text.txt fixed.bin >/dev/null

printf "%-11s %10s %10s %8s %8s\n" job recsift peer ratio target
status=0
for job in $jobs; do
  : >"$job.r"
  : >"$job.p"
  : >"$job.q"
  # Each recsift run is paired with a peer run right after it; the job's ratio is the median of
  # the pairs' ratios, so that a slow spell of the machine weighs on both sides of a pair alike.
  for ((i = 0; i < runs; i++)); do
    r=$(seconds "job_${job}_recsift")
    p=$(seconds "job_${job}_peer")
    echo "$r" >>"$job.r"
    echo "$p" >>"$job.p"
    echo "$r / $p" | bc -l >>"$job.q"
  done
  r=$(median <"$job.r")
  p=$(median <"$job.p")
  ratio=$(median <"$job.q")
  case $job in
    scan) target=1.5; mine=w1.out; theirs=g1.out ;;
    field) target=0.5; mine=w2.out; theirs=m2.out ;;
    copy) target=2.0; mine=w4.out; theirs=d4.out ;;
    dirlist)
      target=1.5; mine=w5.names; theirs=f5.names
      cut -c60- w5.out | sed "s|^$work/||" | sort >w5.names
      sed 's/^[^ ]* [^ ]* [^ ]* //' f5.out | sort >f5.names
      ;;
  esac
  if ! cmp -s "$mine" "$theirs"; then
    echo "bench: $job: recsift's output differs from the peer's" >&2
    status=1
  fi
  printf "%-11s %9.3fs %9.3fs %8.2f %8s\n" "$job" "$r" "$p" "$ratio" "<= $target"
done
exit $status
