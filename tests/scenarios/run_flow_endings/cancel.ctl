* CANCEL ends the run at the third record; what was written stays.
READ in.txt
WRITE out.txt
IF POS 1 = 'C'
THEN CANCEL
