* An accumulator beyond position 80 is set before the first record comes.
OPTION W=130
MOVE X'C1' TO POS 100 STOPAFT 1
READ in.txt
WRITE early.dat FROM POS 100,100 RECFM=F LRECL=1
