#!/usr/bin/env bash
# Benchmarks a whole file to CSV: recsift-copybook --csv writes the control file for a copybook of
# 80-byte EBCDIC records (four text fields and a packed amount with two decimals), recsift converts
# 4,000,000 such records, and a perl script does the same conversion with unpack (the user's usual
# tool for it). Both outputs must be equal; prints the median times and the median time ratio
# (recsift / perl) of runs made in pairs.
#
#   bench/csv.sh [RECORDS] [RUNS]     (defaults 4000000, 5)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
records=${1:-4000000}
runs=${2:-5}
recsift=${RECSIFT:-$root/build/recsift}
copybook=$(dirname "$recsift")/recsift-copybook
[ -x "$recsift" ] && [ -x "$copybook" ] || make -C "$root" >/dev/null
command -v perl >/dev/null || { echo "bench: perl is not installed" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/recsift-csv.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
g++ -O2 -std=c++20 -o gen_data "$here/gen_data.cc"
./gen_data text.txt 0 big.bin $(((records * 80 + 1048575) / 1048576))
head -c $((records * 80)) big.bin >fixed.bin
rm -f big.bin text.txt

cat >bench.cpy <<'CPY'
       01  BENCH-RECORD.
           05  BENCH-NAME              PIC X(20).
           05  BENCH-AMOUNT            PIC S9(7)V99 COMP-3.
           05  BENCH-CODE              PIC X(10).
           05  BENCH-CITY              PIC X(20).
           05  BENCH-NOTE              PIC X(25).
CPY
"$copybook" --csv --ebcdic --trim bench.cpy >csv.ctl

# recsift's own EBCDIC table, for the perl side.
perl -e 'print pack("C*", 0 .. 255)' >all.bin
printf "READ all.bin RECFM=F LRECL=256\nTRAN POS 1,256 ASCII\nWRITE table.bin RECFM=F LRECL=256\n" \
  >table.ctl
"$recsift" -ctl table.ctl -lst table.lst 2>/dev/null
cat >peer.pl <<'PERL'
use strict; use warnings;
binmode STDIN; binmode STDOUT;
my $table = do { local $/; open(my $t, '<', $ARGV[0]) or die; binmode $t; <$t> };
my $from = join('', map { sprintf '\\x%02x', $_ } 0 .. 255);
my $to = join('', map { sprintf '\\x%02x', $_ } unpack('C*', $table));
my $tr = eval "sub { \$_[0] =~ tr/$from/$to/r }" or die $@;
sub text { my $s = $tr->($_[0]); $s =~ s/ +$//; $s =~ /[",\r\n]/ ? '"' . ($s =~ s/"/""/gr) . '"' : $s }
sub packed {
  my $h = unpack('H*', $_[0]); my $sign = substr($h, -1, 1, '');
  $h =~ s/^0+(?=\d)//; my $v = length($h) > 2 ? $h : sprintf('%03d', $h);
  $v = substr($v, 0, -2) . '.' . substr($v, -2); $v =~ s/^0+(?=\d)//;
  ($sign =~ /[bd]/ && $v =~ /[1-9]/ ? '-' : '') . $v
}
print "BENCH_NAME,BENCH_AMOUNT,BENCH_CODE,BENCH_CITY,BENCH_NOTE\r\n";
$/ = \80;
while (my $r = <STDIN>) {
  my ($name, $amount, $code, $city, $note) = unpack('a20 a5 a10 a20 a25', $r);
  print join(',', text($name), packed($amount), text($code), text($city), text($note)), "\r\n";
}
PERL

seconds() {
  local start end
  sync
  start=$(date +%s.%N)
  "$@" || true
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
run_recsift() { "$recsift" -ctl csv.ctl -lst csv.lst fixed.bin mine.csv 2>/dev/null; }
run_perl() { perl peer.pl table.bin <fixed.bin >theirs.csv; }

cat fixed.bin >/dev/null
: >r.t; : >p.t; : >q.t
for ((i = 0; i < runs; i++)); do
  r=$(seconds run_recsift)
  p=$(seconds run_perl)
  echo "$r" >>r.t
  echo "$p" >>p.t
  echo "$r / $p" | bc -l >>q.t
done
if ! cmp -s mine.csv theirs.csv; then
  echo "bench: recsift's CSV differs from perl's" >&2
  cmp mine.csv theirs.csv | head -3 >&2
  exit 1
fi
printf "%-8s %10s %10s %8s %8s\n" job recsift perl ratio target
printf "%-8s %10.3f %10.3f %8.3f %8s\n" csv "$(median <r.t)" "$(median <p.t)" "$(median <q.t)" 0.2
echo "$records records, $(wc -l <mine.csv) lines, outputs equal"
