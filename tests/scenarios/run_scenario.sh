#!/usr/bin/env bash
# Runs one end-to-end scenario and compares everything it produced with what the folder expects.
#
# A scenario is a folder holding:
#   cmd            the command line, as a shell would run it; "recsift" names the program under test
#                  (pipes and redirections are allowed: "recsift -ctl job.ctl <data.txt")
#   expect.rc      the expected exit code (a number; 0 when the file is absent)
#   expect.stdout  the expected standard output (compared when present)
#   expect.stderr  the expected standard error (compared when present)
#   expected/      every file the run must produce, compared byte for byte (listings included)
#   stdin          fed to the program's standard input (else /dev/null)
#   filter         a sed script applied to the run's stdout, stderr and outputs before comparing
#                  (for what legitimately varies, such as storage addresses in traces)
#   (the working folder's path, wherever it shows, is replaced by WORK before comparing)
#   epoch          the fixed clock as seconds since 1970 (else 1796308387, 2026-12-03 14:33:07 UTC)
# Every other file of the folder is copied into a fresh working folder before the run.
#
# Usage: run_scenario.sh PROGRAM SCENARIO_DIR      (set KEEP=1 to keep the working folder)
# With UPDATE=1 the run's results replace what the folder expects: the exit code, and every
# expect.* file and expected/ file that exists (create an empty one to have it recorded). Review
# the change with git diff before committing it.
set -u
bin=$1
dir=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/recsift-scenario.XXXXXX")
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT

for f in "$dir"/* "$dir"/.[!.]*; do
  [ -e "$f" ] || continue
  case "$(basename "$f")" in
    cmd|expect.*|expected|epoch|filter) ;;
    *) cp -R "$f" "$work"/ ;;
  esac
done

epoch=1796308387
[ -f "$dir/epoch" ] && epoch=$(cat "$dir/epoch")
input=/dev/null
[ -f "$dir/stdin" ] && input="$dir/stdin"

cd "$work" || exit 2
recsift() { "$bin" "$@"; }
export -f recsift 2>/dev/null
export bin
(
  export SOURCE_DATE_EPOCH=$epoch TZ=UTC LC_ALL=C
  unset RSFLST
  eval "$(cat "$dir/cmd")"
) <"$input" >"$work/.stdout" 2>"$work/.stderr"
rc=$?

status=0
want_rc=0
[ -f "$dir/expect.rc" ] && want_rc=$(tr -d '[:space:]' <"$dir/expect.rc")
if [ "${UPDATE:-0}" = 1 ]; then
  if [ "$rc" = 0 ]; then rm -f "$dir/expect.rc"; else echo "$rc" >"$dir/expect.rc"; fi
  want_rc=$rc
fi
if [ "$rc" != "$want_rc" ]; then
  echo "exit code: got $rc, expected $want_rc"
  status=1
fi
compare() {  # compare EXPECTED ACTUAL LABEL
  # The working folder's name varies from run to run: it reads as WORK.
  if [ -f "$2" ]; then
    sed "s|$work|WORK|g" "$2" >"$2.work" && mv "$2.work" "$2"
  fi
  if [ -e "$2" ] && [ -f "$dir/filter" ]; then
    sed -f "$dir/filter" "$2" >"$2.filtered" && mv "$2.filtered" "$2"
  fi
  if [ "${UPDATE:-0}" = 1 ] && [ -e "$2" ]; then
    cp "$2" "$1"
    return
  fi
  if [ ! -e "$2" ]; then
    echo "missing output: $3"
    status=1
  elif ! cmp -s "$1" "$2"; then
    echo "differs: $3"
    diff -a -u "$1" "$2" | head -n 60
    status=1
  fi
}
[ -f "$dir/expect.stdout" ] && compare "$dir/expect.stdout" "$work/.stdout" stdout
[ -f "$dir/expect.stderr" ] && compare "$dir/expect.stderr" "$work/.stderr" stderr
if [ -d "$dir/expected" ]; then
  while IFS= read -r -d '' f; do
    rel=${f#"$dir/expected/"}
    compare "$f" "$work/$rel" "$rel"
  done < <(find "$dir/expected" -type f -print0)
fi
if [ "$status" != 0 ]; then
  echo "--- stderr of the run:"
  head -n 20 "$work/.stderr"
fi
exit $status
