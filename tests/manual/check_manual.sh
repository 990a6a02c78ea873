#!/usr/bin/env bash
# Keeps the manual pages true to the program.
#   check_manual.sh content SOURCE_DIR RECSIFT   the switches of recsift(1) against --help, the
#       bold keywords of recsift-statements(5) against the compiler's keyword tables, the exit
#       codes of recsift(1) against README's tables.
#   check_manual.sh render SOURCE_DIR            the pages through groff with every warning on
#       (exit 77, a skip, when groff is not installed).
set -u
mode=$1
src=$2
bin=${3:-}
page1=$src/man/recsift.1
page5=$src/man/recsift-statements.5
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Prints "SECTION<tab>TAG<tab>bold text" for every run of bold text of a page: the B-family
# macros, their alternating forms and inline \fB; TAG is 1 on the tag line of a .TP.
bold_runs() {
  perl -e '
    my ($section, $tag) = ("", 0);
    sub unescape {
      my $t = shift;
      $t =~ s/\\-/-/g; $t =~ s/\\\(aq/\x27/g; $t =~ s/\\\(dq/"/g; $t =~ s/\\&//g;
      $t =~ s/\\c//g; $t =~ s/\\ / /g; $t =~ s/\\e/\\/g;
      return $t;
    }
    sub runs {  # bold runs of one argument whose own font is bold ($b) or not
      my ($text, $b) = @_;
      my @out; my $cur = "";
      for my $piece (split /(\\f[BRIP])/, $text) {
        if ($piece =~ /^\\f([BRIP])$/) {
          push @out, $cur if $b && $cur ne "";
          $cur = ""; $b = $1 eq "B";
        } else { $cur .= $piece; }
      }
      push @out, $cur if $b && $cur ne "";
      return map { unescape($_) } @out;
    }
    my $in_example = 0;
    while (<>) {
      chomp;
      next if /^\.\\"/;
      if (/^\.EX/) { $in_example = 1; next; }
      if (/^\.EE/) { $in_example = 0; next; }
      next if $in_example;
      if (/^\.S[HS]\s+"?([^"]*)"?/) { $section = $1; $tag = 0; next; }
      if (/^\.TP/) { $tag = 1; next; }
      my @found;
      if (/^\.(BR|RB|BI|IB|RI|IR|B|I)(?:\s+(.*))?$/) {
        my ($macro, $rest) = ($1, defined $2 ? $2 : "");
        my @args;
        push @args, defined $1 ? $1 : $2 while $rest =~ /"((?:[^"]|"")*)"|(\S+)/g;
        @args = (join " ", @args) if length($macro) == 1;
        for my $i (0 .. $#args) {
          my $font = substr($macro, length($macro) == 1 ? 0 : $i % 2, 1);
          push @found, runs($args[$i], $font eq "B");
        }
      } elsif (!/^\./) {
        push @found, runs($_, 0);
      }
      print "$section\t$tag\t$_\n" for @found;
      $tag = 0;
    }' "$1"
}

content() {
  local help
  help=$("$bin" --help) || fail "recsift --help exited with a failure"

  # Every switch of the OPTIONS section's tags is one --help lists, and the reverse.
  local runs1 word
  runs1=$(bold_runs "$page1")
  while IFS= read -r word; do
    [ -n "$word" ] || continue
    grep -qF -- "$word" <<<"$help" || fail "recsift(1) lists \"$word\", which --help does not"
  done < <(awk -F'\t' '$1 == "OPTIONS" && $2 == 1 {print $3}' <<<"$runs1" |
           tr ' ,' '\n\n' | sed '/^$/d')
  while IFS= read -r word; do
    awk -F'\t' '$1 == "OPTIONS" {print $3}' <<<"$runs1" | grep -qF -- "$word" ||
      fail "--help lists \"$word\", which recsift(1) does not"
  done < <(sed -n '/^Switches:/,/^Parameters:/p' <<<"$help" | grep -o -- '^  -[^ ,]*\|, -[^ ,]*' |
           sed 's/^[ ,]*//; s/XX$//')

  # Every upper-case word in bold on the statements page is a keyword the compiler knows: an
  # item of a string literal (names are listed comma-separated) or a one-letter character
  # literal of its keyword tables.
  local known
  known=$(cat "$src"/src/compiler/*.cc "$src"/src/input/*.cc "$src"/src/files/*.cc |
          perl -ne 'while (/"((?:[^"\\]|\\.)*)"/g) { print "$_\n" for split /,/, $1 }
                    while (/\x27([A-Z])\x27/g) { print "$1\n" }' | sort -u)
  local checked=0
  while IFS= read -r word; do
    checked=$((checked + 1))
    grep -qxF -- "$word" <<<"$known" ||
      fail "recsift-statements(5) shows \"$word\" as a keyword; the compiler knows no such word"
  done < <(bold_runs "$page5" | cut -f3 | tr -c 'A-Za-z0-9_@\n' '\n' |
           grep -x '[A-Z][A-Z0-9_]*' | sort -u)
  [ "$checked" -gt 100 ] || fail "only $checked keywords found on recsift-statements(5)"

  # The exit codes of recsift(1) are those of README's two tables of return codes.
  local page_codes readme_codes
  page_codes=$(bold_runs "$page1" | awk -F'\t' '$1 == "EXIT STATUS" && $2 == 1 {print $3}' |
               grep -o '[0-9]\+' | sort -nu | tr '\n' ' ')
  readme_codes=$(awk '/^#/ {t = /Return codes of a run|Exit codes/} t && /^\| *[0-9]/' \
                   "$src/README.md" | cut -d'|' -f2 | grep -o '[0-9]\+' | sort -nu | tr '\n' ' ')
  [ -n "$page_codes" ] || fail "no exit codes found in recsift(1)"
  [ "$page_codes" = "$readme_codes" ] ||
    fail "exit codes differ: recsift(1) has [$page_codes], README [$readme_codes]"
}

render() {
  if ! command -v groff >/dev/null; then
    echo "groff is not installed: the pages are not rendered (install groff-base)"
    exit 77
  fi
  local page macros out
  for page in "$page1" "$page5" "$src/man/recsift-copybook.1"; do
    for macros in -man -mandoc; do
      out=$(groff "$macros" -ww -z "$page" 2>&1)
      [ -z "$out" ] || fail "groff $macros -ww on $(basename "$page"): $out"
    done
  done
}

case $mode in
  content) content ;;
  render) render ;;
  *) echo "usage: $0 content|render SOURCE_DIR [RECSIFT]" >&2; exit 2 ;;
esac
if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "manual pages: $mode checks passed"
