#!/usr/bin/env bash
# Benchmarks recsift against the tool a user would otherwise pick, on the same generated data, in
# one run on one machine, and prints each job's median times and median time ratio
# (recsift / peer, over runs made in pairs).
#
#   bench/run.sh [TEXT_MB] [FIXED_MB] [RUNS]     (defaults 400, 400, 5)
#   JOBS="keyed dirlist" bench/run.sh            (only the jobs named; default: all of them)
#
# Jobs: scan (grep -F), field test (mawk), fixed copy (dd), translate (dd conv=ascii; recsift's
# output checked against its own table applied by perl), packed sum (a perl unpack loop; the
# totals must be equal), record print (PRINT TYPE C of 1,000,000 records to the listing, against
# dd copying a file of the listing's size; the listing must hold every record), keyed reads (keyed_peer.c: 100,000
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
jobs=${JOBS:-scan field copy translate packed print keyed dirlist}
for tool in grep mawk dd find perl; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is not installed" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/recsift-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
want() { case " $jobs " in *" $1 "*) return 0 ;; esac; return 1; }
if want scan || want field || want copy || want translate || want packed || want print; then
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
printf "READ fixed.bin RECFM=F LRECL=80\nTRAN POS 1,80 ASCII\nWRITE w7.out RECFM=F LRECL=80\n" \
  >translate.ctl
cat >packed.ctl <<'END'
OPTION W=130
READ fixed.bin RECFM=F LRECL=80
MOVE X'0000000000000000000C' TO POS 81,90 STOPAFT 1
IF EOF
THEN CVPC POS 81,90 TO POS 101 FMT '-------------------9'
THEN WRITE w8.out FROM POS 101,120
ELSE ADD POS 21,25 TYPE P TO POS 81,90 TYPE P
END
# The record print reads 1,000,000 records (fewer when the fixed data are smaller).
head -c 80000000 fixed.bin >print.bin
printf "READ print.bin RECFM=F LRECL=80\nPRINT TYPE C\n" >print.ctl
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
job_translate_recsift() { "$recsift" -ctl translate.ctl -lst translate.lst 2>/dev/null; }
job_translate_peer() { dd if=fixed.bin of=d7.out bs=1M conv=ascii status=none; }
job_packed_recsift() { "$recsift" -ctl packed.ctl -lst packed.lst 2>/dev/null; }
job_packed_peer() {
  perl -e '$/ = \80; my $s = 0;
    while (my $r = <STDIN>) { my $h = unpack("x20 H10", $r); my $v = substr($h, 0, 9);
      $s += (substr($h, 9, 1) =~ /[bd]/) ? -$v : $v }
    printf "%-80s", sprintf("%20d", $s)' <fixed.bin >p8.out
}
job_print_recsift() { "$recsift" -ctl print.ctl -lst print.lst 2>/dev/null; }
job_print_peer() { dd if=listing_size.bin of=d9.out bs=1M status=none; }
# Floors: the least a program must do for these jobs here (bench/floor.c), for targets that a
# peer's own speed may put below what the machine allows.
job_field_floor() { ./floor field text.txt f2.out; }
job_translate_floor() { ./floor translate fixed.bin f7.out table.bin; }
job_packed_floor() { ./floor packed fixed.bin f8.out; }
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

cc -O2 -o floor "$here/floor.c"
if want translate; then
  # recsift's own table, from one record of all 256 bytes: the floor and the check use it.
  perl -e 'print pack("C*", 0 .. 255)' >all.bin
  printf "READ all.bin RECFM=F LRECL=256\nTRAN POS 1,256 ASCII\nWRITE table.bin RECFM=F LRECL=256\n" \
    >table.ctl
  "$recsift" -ctl table.ctl -lst table.lst 2>/dev/null
fi

# The record print's peer copies a file as large as recsift's listing.
if want print; then
  job_print_recsift
  size=$(stat -c %s print.lst)
  while [ "$(stat -c %s fixed.bin)" -lt "$size" ] && [ ! -s listing_size.bin ]; do
    cat fixed.bin fixed.bin fixed.bin >listing_size.bin
  done
  if [ -s listing_size.bin ]; then
    head -c "$size" listing_size.bin >l.tmp && mv l.tmp listing_size.bin
  else
    head -c "$size" fixed.bin >listing_size.bin
  fi
fi

# Warm the page cache so both sides read from memory, with the new data written back.
sync
cat text.txt fixed.bin sorted.bin print.bin >/dev/null
[ -f listing_size.bin ] && cat listing_size.bin >/dev/null

printf "%-11s %10s %10s %8s %8s %10s %8s\n" job recsift peer ratio target floor "/floor"
status=0
for job in $jobs; do
  : >"$job.r"
  : >"$job.p"
  : >"$job.q"
  : >"$job.f"
  : >"$job.g"
  floor=0
  declare -F "job_${job}_floor" >/dev/null && floor=1
  # Each recsift run is paired with a peer run right after it; the job's ratio is the median of
  # the pairs' ratios, so that a slow spell of the machine weighs on both sides of a pair alike.
  for ((i = 0; i < runs; i++)); do
    r=$(seconds "job_${job}_recsift")
    p=$(seconds "job_${job}_peer")
    echo "$r" >>"$job.r"
    echo "$p" >>"$job.p"
    echo "$r / $p" | bc -l >>"$job.q"
    if [ $floor = 1 ]; then
      f=$(seconds "job_${job}_floor")
      echo "$f" >>"$job.f"
      echo "$r / $f" | bc -l >>"$job.g"
    fi
  done
  r=$(median <"$job.r")
  p=$(median <"$job.p")
  ratio=$(median <"$job.q")
  case $job in
    scan) target=1.0; mine=w1.out; theirs=g1.out ;;
    field) target=0.4; mine=w2.out; theirs=m2.out ;;
    copy) target=1.2; mine=w4.out; theirs=d4.out ;;
    translate)
      target=0.6; mine=w7.out; theirs=t7.out
      # recsift's own table applied to the data by perl.
      perl -e 'open(my $t, "<", "table.bin") or die; binmode $t; local $/; my $to = <$t>;
        my $from = join("", map { sprintf "\\x%02x", $_ } 0 .. 255);
        $to = join("", map { sprintf "\\x%02x", $_ } unpack("C*", $to));
        binmode STDIN; binmode STDOUT; my $d = <STDIN>; eval "\$d =~ tr/$from/$to/"; print $d' \
        <fixed.bin >t7.out
      ;;
    packed) target=0.1; mine=w8.out; theirs=p8.out ;;
    print)
      target=2.0; mine=print.count; theirs=print.want
      grep -a -c -E '^ *[0-9]+[0-9* ]* 2 ' print.lst >print.count || true
      echo $(($(stat -c %s print.bin) / 80)) >print.want
      ;;
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
  if [ $floor = 1 ]; then
    for out in f2.out:w2.out f7.out:w7.out f8.out:w8.out; do
      if [ -f "${out%%:*}" ] && ! cmp -s "${out%%:*}" "${out##*:}"; then
        echo "bench: $job: the floor's output differs from recsift's" >&2
        status=1
      fi
    done
    printf "%-11s %9.3fs %9.3fs %8.2f %8s %9.3fs %8.2f\n" "$job" "$r" "$p" "$ratio" "<= $target" \
      "$(median <"$job.f")" "$(median <"$job.g")"
  else
    printf "%-11s %9.3fs %9.3fs %8.2f %8s\n" "$job" "$r" "$p" "$ratio" "<= $target"
  fi
  if [ "$job" = keyed ] && [ -x /usr/bin/time ]; then
    rss=$(/usr/bin/time -f %M "$recsift" -ctl keyed.ctl -lst keyed.lst 2>&1 >/dev/null | tail -1)
    printf "%-11s peak RSS %d KB (target < 65536 KB)\n" keyed "$rss"
  fi
done
exit $status
