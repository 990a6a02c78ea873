#!/usr/bin/env bash
# The statements recsift-copybook writes for sample copybooks select the records that other
# programs' decoded outputs say they should:
# - DTAR020 (packed decimal): STORE_NO = 20 with a negative SALE_PRICE, against the source
#   project's CSV of the same file;
# - the CardDemo export file (REDEFINES, binary and packed fields): the account records whose
#   CURR_BAL is above 300.00, against the account file's decoded text;
# - the CSV files of DTAR020 (packed, tab) and DTAR1000 (variable records, binary, ";") against
#   the source project's own CSV files; the --csv control files and the refused --csv options.
#   check_samples.sh RECSIFT RECSIFT-COPYBOOK SAMPLES   (exit 77 = skipped: no sample folder)
set -euo pipefail
recsift=$(realpath "$1")
copybook=$(realpath "$2")
samples=$3
if [ ! -f "$samples/jrecord/DTAR020.cbl" ]; then
  echo "no sample folder at $samples: skipped"
  exit 77
fi
samples=$(realpath "$samples")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export SOURCE_DATE_EPOCH=0

"$copybook" "$samples/jrecord/DTAR020.cbl" >dtar.equ
cat >dtar.ctl <<'CTL'
INCLUDE dtar.equ
READ %1 RECFM=F LRECL=27
IF %DTAR020_STORE_NO% = 20
AND %DTAR020_SALE_PRICE% LT 0
THEN TRAN %DTAR020_KEYCODE_NO% ASCII
THEN WRITE %2 FROM %DTAR020_KEYCODE_NO% EOL=LF
CTL
"$recsift" -ctl dtar.ctl -lst dtar.lst "$samples/jrecord/DTAR020.bin" keys.txt
tr -d '\r' <"$samples/jrecord/DTAR020.csv" | awk -F'\t' 'NR > 1 && $2 == 20 && $6 < 0 { print $1 }' >want.txt
[ -s want.txt ]
cmp want.txt keys.txt

"$copybook" --redefine EXPORT-ACCOUNT-DATA "$samples/carddemo/CVEXPORT.cpy" >export.equ
cat >export.ctl <<'CTL'
INCLUDE export.equ
READ %1 RECFM=F LRECL=500
TRAN %EXPORT_REC_TYPE% ASCII
IF %EXPORT_REC_TYPE% = 'A'
AND %EXP_ACCT_CURR_BAL% GT 30000
THEN TRAN %EXP_ACCT_OPEN_DATE% ASCII
THEN WRITE %2 FROM %EXP_ACCT_OPEN_DATE% EOL=LF
CTL
"$recsift" -ctl export.ctl -lst export.lst "$samples/carddemo/AWS.M2.CARDDEMO.EXPORT.DATA.first100.PS" dates.txt
# Accounts 1 and 50 have another balance in the export (a later snapshot): left out of both.
awk '{ id = substr($0, 1, 11) + 0; bal = substr($0, 13, 11) + 0 }  # the last digit is over-punched
     id != 1 && id != 50 && bal * 10 > 30000 { print substr($0, 49, 10) }' \
  "$samples/carddemo/acctdata.txt" >want_dates.txt
[ -s want_dates.txt ]
cmp want_dates.txt dates.txt

# Whole files to CSV: the data lines are the source project's own CSV files, byte for byte (the
# header names differ: "_" for "-").
"$copybook" --csv --ebcdic --sep tab "$samples/jrecord/DTAR020.cbl" >dtar_csv.ctl
"$recsift" -ctl dtar_csv.ctl -lst dtar_csv.lst "$samples/jrecord/DTAR020.bin" dtar.tsv
tail -n +2 dtar.tsv | cmp - <(tail -n +2 "$samples/jrecord/DTAR020.csv")
"$copybook" --csv --ebcdic --trim --sep ';' --recfm V "$samples/jrecord/DTAR1000.cbl" >stores.ctl
"$recsift" -ctl stores.ctl -lst stores.lst "$samples/jrecord/DTAR1000_Store_file_std.bin" stores.csv
tail -n +2 stores.csv | cmp - <(tail -n +2 "$samples/jrecord/DTAR1000_Store_file_std_02.csv")
"$copybook" --csv --sep tab --ebcdic --trim "$samples/jrecord/DTAR020.cbl" >dtar_trim.ctl
cat >want_csv.ctl <<'CTL'
* Records of %1 as CSV lines in %2, columns from DTAR020.cbl
READ %1 RECFM=F LRECL=27
CSV %2 SEP=TAB EBCDIC TRIM HEADER
COLUMN 'DTAR020_KEYCODE_NO' POS 1 LEN 8
COLUMN 'DTAR020_STORE_NO' POS 9 LEN 2 TYPE P
COLUMN 'DTAR020_DATE' POS 11 LEN 4 TYPE P
COLUMN 'DTAR020_DEPT_NO' POS 15 LEN 2 TYPE P
COLUMN 'DTAR020_QTY_SOLD' POS 17 LEN 5 TYPE P
COLUMN 'DTAR020_SALE_PRICE' POS 22 LEN 6 TYPE P DEC 2
CTL
cmp want_csv.ctl dtar_trim.ctl
"$copybook" --csv --recfm=vb --lrecl=40 --sep="'" "$samples/mdu/COBVBFM2.cpy" >vb_csv.ctl
grep -qx "READ %1 RECFM=VB NORDW LRECL=40" vb_csv.ctl
grep -qx "CSV %2 SEP='''' HEADER" vb_csv.ctl
grep -qx "COLUMN 'OUT_NAME_10' POS 286 LEN 21" vb_csv.ctl
# A wrong command line: exit status 2 and a reason, nothing on standard output.
refused() {
  local status=0
  "$copybook" "$@" "$samples/jrecord/DTAR020.cbl" >out.txt 2>err.txt || status=$?
  if [ "$status" != 2 ] || [ -s out.txt ] || ! grep -q "^recsift-copybook: " err.txt; then
    echo "recsift-copybook $*: status $status" >&2
    exit 1
  fi
}
refused --ebcdic
refused --csv --sep ab
refused --csv --sep '"'
refused --csv --recfm U
refused --csv --recfm V --lrecl 4
refused --csv --lrecl 0
refused --csv --lrecl x
echo "sample copybooks: selections and CSV files agree"
