* Without a work area a shortened record is all that positions reach.
READ in.txt
LRECL = 2
IF POS 3 = 'L'
THEN WRITE short.txt
ELSE WRITE rest.txt
