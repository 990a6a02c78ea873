* Nothing is written or printed: the program cannot produce output.
READ in.txt
IF POS 1 = 'A'
THEN MOVE 'X' TO POS 1
