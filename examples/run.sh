#!/usr/bin/env bash
# Runs the bundled example job with the program given as $1 and shows what it produced.
set -u
bin=${1:-../build/recsift}
cd "$(dirname "$0")"
echo "== $bin -V"
"$bin" -V
echo
echo "== $bin -ctl select.ctl -lst select.lst"
"$bin" -ctl select.ctl -lst select.lst
rc=$?
[ -f select.lst ] && cat select.lst
[ -f hits.txt ] && { echo "== hits.txt"; cat hits.txt; }
echo "== return code $rc"
exit 0
