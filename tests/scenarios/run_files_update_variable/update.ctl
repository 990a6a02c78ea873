* The second record of each file rewritten in place, same length.
READ vb.dat RECFM=VB LRECL=40 BLKSIZE=100
IF POS 1 = 'bravo'
THEN MOVE 'BRAVO' TO POS 1
THEN UPDATE vb.dat
