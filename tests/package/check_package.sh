#!/usr/bin/env bash
# Builds the Debian package and checks it from the installed layout: the example job run with the
# installed program and message file, the manual pages rendered. As root on a machine where the
# package is not installed yet, it installs the package with dpkg -i and purges it afterwards;
# otherwise (or with RECSIFT_PACKAGE_SCRATCH=1) it unpacks it (dpkg -x) into a scratch root and
# runs from there. Either way the machine is left as it was.
set -euo pipefail
cd "$(dirname "$0")/../.."

make package >/dev/null
version=$(sed -n 's/^set(RECSIFT_VERSION \(.*\))$/\1/p' CMakeLists.txt)
deb=build/recsift_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "FAIL: $deb was not built"; exit 1; }

scratch=$(mktemp -d)
installed=no
cleanup() {
  if [ "$installed" = yes ]; then dpkg --purge recsift >/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The package's fields and files.
depends=$(dpkg-deb -f "$deb" Depends)
case $depends in *libc6*) ;; *) fail "Depends does not name libc6: \"$depends\"" ;; esac
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for f in ./usr/bin/recsift ./usr/share/recsift/recsift.msg \
         ./usr/share/man/man1/recsift.1.gz ./usr/share/man/man5/recsift-statements.5.gz \
         ./usr/share/doc/recsift/README.md ./usr/share/doc/recsift/examples/select.ctl \
         ./usr/share/doc/recsift/examples/orders.txt ./usr/share/doc/recsift/examples/run.sh; do
  grep -qxF "$f" <<<"$contents" || fail "the package lacks $f"
done

# Install: into the machine when that is ours to do and undo, else into a scratch root.
if [ "${RECSIFT_PACKAGE_SCRATCH:-0}" != 1 ] && [ "$(id -u)" = 0 ] && [ -w /var/lib/dpkg ] && ! dpkg -s recsift >/dev/null 2>&1 &&
   [ ! -e /usr/bin/recsift ] && [ ! -e /usr/share/recsift ]; then
  dpkg -i "$deb" >/dev/null
  installed=yes
  root=
  echo "installed with dpkg -i"
else
  root=$scratch/root
  dpkg -x "$deb" "$root"
  echo "unpacked with dpkg -x into a scratch root"
fi
bin=$root/usr/bin/recsift

# The example job, from a copy of the installed examples, with no PATH leading to the build:
# the message file must be the installed one, found beside the program's folder.
cp -r "$root/usr/share/doc/recsift/examples" "$scratch/job"
out=$(env -i PATH=/usr/bin:/bin "$scratch/job/run.sh" "$bin" 2>&1)
grep -q "^== return code 0$" <<<"$out" || fail "the example job did not end with 0: $out"
# Text records go out with CR LF line ends, as does the listing.
[ "$(tr -d '\r' <"$scratch/job/hits.txt")" = "$(grep '^NORTH' "$scratch/job/orders.txt")" ] ||
  fail "hits.txt does not hold the NORTH orders"
grep -q "^ *\*\* RECSIFT/WNT $version\$" <<<"$(tr -d '\r' <"$scratch/job/select.lst")" ||
  fail "the listing does not end with the package's version $version"

# A statement in error: its message text comes from the installed catalogue.
(cd "$scratch/job" && env -i PATH=/usr/bin:/bin "$bin" -lst bad.lst ! READ orders.txt \
   ! "MOVE 'X' TO POS 1 ZZZ" ! '/*' >/dev/null 2>&1) || true
grep -qs "Words are left over" "$scratch/job/bad.lst" ||
  fail "the installed program did not find its message file"

# The manual pages render from the installed files.
command -v groff >/dev/null || echo "groff is not installed: the pages are not rendered"
for page in man1/recsift.1.gz man5/recsift-statements.5.gz; do
  command -v groff >/dev/null || break
  text=$(zcat "$root/usr/share/man/$page" | groff -man -Tutf8 -ww 2>&1) ||
    fail "$page does not render"
  grep -q "recsift" <<<"$text" || fail "$page renders no text"
done
if command -v man >/dev/null; then
  grep -q "EXIT STATUS" <<<"$(man -l "$root/usr/share/man/man1/recsift.1.gz" 2>/dev/null)" ||
    fail "man -l does not show recsift(1)"
fi

if [ "$installed" = yes ]; then
  dpkg --purge recsift >/dev/null
  installed=no
  [ ! -e /usr/bin/recsift ] && [ ! -e /usr/share/recsift ] && [ ! -e /usr/share/doc/recsift ] ||
    fail "purging the package left files behind"
fi

if [ "$failures" -gt 0 ]; then
  echo "package check: $failures check(s) failed"
  exit 1
fi
echo "package check: $deb passed"
