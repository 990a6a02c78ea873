* Records before START are read and nothing else runs; SUSP waits again.
READ in.txt
IF POS 1 = 'S'
THEN START
PRINT
IF POS 1 = 'P'
THEN SUSP
