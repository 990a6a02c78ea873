#!/usr/bin/env bash
# Runs spread by GNU parallel give what one run gives: a selection and a conversion read by name
# in 4 parts (-part {}/4), and a text job fed in blocks by --pipepart (READ STDIN, WRITE STDOUT).
# The joined outputs must equal the single run's byte for byte, and the highest return code of
# the parts must be the single run's.
#   check_parallel.sh RECSIFT        (exit 77 = skipped: GNU parallel is not installed)
set -euo pipefail
recsift=$(realpath "$1")
if ! command -v parallel >/dev/null || ! parallel --version 2>/dev/null | grep -q 'GNU parallel'; then
  echo "GNU parallel is not installed: skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export SOURCE_DATE_EPOCH=0

awk 'BEGIN { for (i = 1; i <= 200000; i++) printf "%s %07d %s\n", (i % 5 ? "north" : "SOUTH"), i, substr("abcdefghij", 1, i % 11) }' >lines.txt
awk 'BEGIN { for (i = 0; i < 50000; i++) printf "%-80s", "record " i " " (i % 7) }' >fixed.dat
printf "READ %%1\nIF POS 1 = 'SOUTH'\nTHEN WRITE %%2 EOL=LF\n" >select.ctl
printf "READ %%1 RECFM=F LRECL=80\nTRAN POS 1,80 EBCDIC\nWRITE %%2 RECFM=F LRECL=80\n" >convert.ctl
printf "READ STDIN\nIF POS 1 = 'SOUTH'\nTHEN MOVE 'south' TO POS 1\nWRITE STDOUT EOL=LF\n" >pipe.ctl

failed=0
# One job as one run and as 4 parts under parallel -j 4.
compare_parts() {  # control file, input, output suffix
  local ctl=$1 in=$2 out=$3 whole_rc=0 highest=0
  "$recsift" -ctl "$ctl" -lst /dev/null "$in" "whole.$out" 2>/dev/null || whole_rc=$?
  parallel -j 4 --joblog "$ctl.log" "$recsift" -ctl "$ctl" -lst /dev/null -part {}/4 "$in" \
    "part.{}.$out" 2>/dev/null ::: 1 2 3 4 || true
  highest=$(awk 'NR > 1 && $7 > m { m = $7 } END { print m + 0 }' "$ctl.log")
  if cat part.1.$out part.2.$out part.3.$out part.4.$out | cmp -s - "whole.$out" &&
    [ "$highest" = "$whole_rc" ]; then
    echo "$ctl: 4 parts give the single run's output and return code $whole_rc"
  else
    echo "$ctl: the parts differ from the single run (return codes $highest and $whole_rc)"
    failed=1
  fi
}
compare_parts select.ctl lines.txt txt
compare_parts convert.ctl fixed.dat dat

# A text job fed by --pipepart in blocks that end at line ends.
"$recsift" -ctl pipe.ctl -lst /dev/null <lines.txt >whole.pipe 2>/dev/null
parallel --pipepart -a lines.txt --block 300k --keep-order -j 4 \
  "$recsift" -ctl "$work/pipe.ctl" -lst /dev/null >parts.pipe 2>/dev/null
if cmp -s parts.pipe whole.pipe; then
  echo "pipe.ctl: --pipepart gives the single run's output"
else
  echo "pipe.ctl: --pipepart output differs"
  failed=1
fi
exit $failed
