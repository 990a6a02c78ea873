* 80-byte records (one full to its last byte, the last one short) copied as
* they are, padded to 80,
* and as text lines without their trailing blanks.
READ fixed.dat RECFM=F LRECL=80
WRITE copy.dat RECFM=F LRECL=80
WRITE lines.txt EOL=LF
PRINT
