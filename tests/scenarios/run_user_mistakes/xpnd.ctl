* The compressed record ends at its last byte; the second record is not compressed data.
OPTION W=100
READ cmp.dat RECFM=F LRECL=5
XPND POS 1 TO POS 51,70
WRITE xpnd.txt FROM POS 51,60 RECFM=U LRECL=10
