* Without a READ the program runs exactly once, on the 80-byte area.
MOVE 'HELLO' TO POS 1
MOVE 'END' TO POS 78
PRINT
WRITE out.txt
WRITE fixed.dat RECFM=F LRECL=20 FROM POS 1,5
