* Wrong values of file keywords, one per statement.
READ in.txt
WRITE bad.txt RECFM=XX
WRITE out.txt LABEL=MAYBE
WRITE out2.txt DEV=1234
WRITE out3.txt OPEN=SIDEWAYS
WRITE out4.txt CLOSE=TIGHT
WRITE out5.txt FAIL=LOUD
WRITE out6.txt VOL
WRITE in.txt
READ in.txt RECFM=FB BLKSIZE=800 LRECL=80
