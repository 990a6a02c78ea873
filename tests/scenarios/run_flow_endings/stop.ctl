* STOP at the third record, nothing written: neither 16 (nothing written)
* nor 4 (input not read to its end).
READ in.txt
IF POS 1 = 'C'
THEN STOP
IF POS 1 = 'Z'
THEN WRITE none.txt
