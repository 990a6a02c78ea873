* The input goes on in two more files (the first empty): the passes stop at each
* file's end and start again in the next.
OPTION W=130
READ fixed.bin RECFM=F LRECL=80
CAT empty.bin
CAT again.bin RECFM=F LRECL=80
MOVE X'0000000000000000000C' TO POS 81,90 STOPAFT 1
IF EOF
THEN CVPC POS 81,90 TO POS 101 FMT '-------------------9'
THEN WRITE cat.txt FROM POS 101,120
ELSE SUB POS 21,25 TYPE P FROM POS 81,90 TYPE P
