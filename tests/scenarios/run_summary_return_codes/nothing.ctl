* Nothing is written: return code 16.
READ in.txt
IF POS 1 = 'Z'
THEN WRITE none.txt
