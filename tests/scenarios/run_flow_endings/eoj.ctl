* GOTO EOJ after two records written: the run ends there with 0.
READ in.txt
WRITE two.txt
IF POS 1 = 'B'
THEN GOTO EOJ
