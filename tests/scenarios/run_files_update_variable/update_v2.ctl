* The second record of each file rewritten in place, same length.
READ v2.dat RECFM=V2 LRECL=40
IF POS 1 = 'bravo'
THEN MOVE 'BRAVO' TO POS 1
THEN UPDATE v2.dat
