#!/usr/bin/env bash
# Benchmarks recsift against the tool a user would otherwise pick, on the same generated data, in
# one run on one machine, and prints each job's median times and median time ratio
# (recsift / peer, over runs made in pairs).
#
#   bench/run.sh [TEXT_MB] [FIXED_MB] [RUNS]     (defaults 400, 400, 5)
#   JOBS="keyed dirlist" bench/run.sh            (only the jobs named; default: all of them)
#
# Jobs: scan (grep -F), field test (mawk), fixed copy (dd), keyed reads (keyed_peer.c: 100,000
# random lookups by key in 4,000,000 sorted 80-byte records, one key in ten absent, against a
# binary search with pread), directory listing of a tree of 100,000 files in 1,000 folders (find
# -printf). Each job's two outputs must be equal (for the listing: the same files, one line each).
# The keyed job also reports recsift's peak resident set size (target: under 64 MB).
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
jobs=${JOBS:-scan field copy keyed dirlist}
for tool in grep mawk dd find; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is not installed" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/recsift-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
want() { case " $jobs " in *" $1 "*) return 0 ;; esac; return 1; }
if want scan || want field || want copy; then
  g++ -O2 -std=c++20 -o gen_data "$here/gen_data.cc"
  ./gen_data text.txt "$text_mb" fixed.bin "$fixed_mb"
else
  : >text.txt
  : >fixed.bin
fi
if want keyed; then
  g++ -O2 -std=c++20 -o gen_keyed "$here/gen_keyed.cc"
  cc -O2 -o keyed_peer "$here/keyed_peer.c"
  ./gen_keyed sorted.bin 4000000 keys.txt 100000
else
  : >sorted.bin
fi
if want dirlist; then
  # 1,000 folders of 100 files each, with sizes and times of their own.
  for ((d = 0; d < 1000; d++)); do
    dir=$(printf 'tree/d%03d' "$d")
    mkdir -p "$dir"
    (cd "$dir" && touch f{00..99}.dat && printf 'x%.0s' $(seq $((d % 50))) >f00.dat)
  done
fi

printf "READ text.txt\nIF POS ANY = 'XYZZY'\nTHEN WRITE w1.out EOL=LF\n" >scan.ctl
printf "READ text.txt\nIF POS 10 = 'ABC'\nTHEN WRITE w2.out EOL=LF\n" >field.ctl
printf "READ fixed.bin RECFM=F LRECL=80\nWRITE w4.out RECFM=F LRECL=80\n" >copy.ctl
printf "READ keys.txt\nREAD sorted.bin RECFM=F LRECL=80 KEYPOS=1 KEYLEN=8 KEY=POS 1,8\n%s\n" \
  "WRITE w5.out EOL=LF" >keyed.ctl
printf "READ tree/* DIR SUB\nWRITE w6.out EOL=LF\n" >dirlist.ctl

export LC_ALL=C
job_scan_recsift() { "$recsift" -ctl scan.ctl -lst scan.lst 2>/dev/null; }
job_scan_peer() { grep -F XYZZY text.txt >g1.out; }
job_field_recsift() { "$recsift" -ctl field.ctl -lst field.lst 2>/dev/null; }
job_field_peer() { mawk 'substr($0,10,3)=="ABC"' text.txt >m2.out; }
job_copy_recsift() { "$recsift" -ctl copy.ctl -lst copy.lst 2>/dev/null; }
job_copy_peer() { dd if=fixed.bin of=d4.out bs=1M status=none; }
job_keyed_recsift() { "$recsift" -ctl keyed.ctl -lst keyed.lst 2>/dev/null; }
job_keyed_peer() { ./keyed_peer sorted.bin keys.txt k5.out; }
job_dirlist_recsift() { "$recsift" -ctl dirlist.ctl -lst dirlist.lst 2>/dev/null; }
job_dirlist_peer() { find tree -type f -printf '%TY/%Tm/%Td %TH:%TM:%TS %s %p\n' >f6.out; }

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
cat text.txt fixed.bin sorted.bin >/dev/null

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
    keyed) target=2.0; mine=w5.out; theirs=k5.out ;;
    dirlist)
      target=1.5; mine=w6.names; theirs=f6.names
      cut -c60- w6.out | sed "s|^$work/||" | sort >w6.names
      sed 's/^[^ ]* [^ ]* [^ ]* //' f6.out | sort >f6.names
      ;;
    *) echo "bench: no job $job" >&2; exit 2 ;;
  esac
  if ! cmp -s "$mine" "$theirs"; then
    echo "bench: $job: recsift's output differs from the peer's" >&2
    status=1
  fi
  printf "%-11s %9.3fs %9.3fs %8.2f %8s\n" "$job" "$r" "$p" "$ratio" "<= $target"
  if [ "$job" = keyed ] && [ -x /usr/bin/time ]; then
    rss=$(/usr/bin/time -f %M "$recsift" -ctl keyed.ctl -lst keyed.lst 2>&1 >/dev/null | tail -1)
    printf "%-11s peak RSS %d KB (target < 65536 KB)\n" keyed "$rss"
  fi
done
exit $status
