* Nine passes in ten leave the routine with GG instead of RETURN: the
* return stack is emptied at the end of every pass, so the run needs one
* node of it, not one per record.
READ forty.txt
GOSUB CHECK
WRITE DUMMY
GG
CHECK
IF POS 3 NE '0'
THEN GG
PRINT TYPE S
RETURN
