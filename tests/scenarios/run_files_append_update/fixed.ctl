* UPDATE of fixed records: the changed ones are rewritten where they are.
READ upd.dat RECFM=F LRECL=10
IF POS 1 = 'X'
THEN MOVE 'Z' TO POS 1
THEN UPDATE upd.dat
