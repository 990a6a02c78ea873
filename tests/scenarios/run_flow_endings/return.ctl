* A RETURN with no GOSUB pending ends the run at the second record.
READ in.txt
PRINT
IF POS 1 = 'B'
THEN RETURN
