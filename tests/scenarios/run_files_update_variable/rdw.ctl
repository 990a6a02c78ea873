* With the descriptor in the record: it stays as stored, the data change.
READ mfv.dat RECFM=MFV LRECL=40 BLKSIZE=300 RDW
IF POS 3 = 'bravo'
THEN MOVE X'7F7F' TO POS 1
THEN MOVE 'BRAVO' TO POS 3
THEN UPDATE mfv.dat
