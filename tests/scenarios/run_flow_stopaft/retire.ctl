* STOPAFT retires statements during the run: a whole THEN branch takes its
* tests with it (the test beyond the record fails only for B0), a GOTO to
* a retired statement goes on after it; TIMES repeats a statement within
* the pass.
READ seven.txt
IF POS 1 = 'A'
OR POS 9 = 'x'
THEN WRITE firsta.txt STOPAFT 1
WRITE all.txt
IF POS 1 = 'B'
THEN GOTO BEES
GG
BEES
PRINT TYPE S STOPAFT 2
WRITE bees.txt
PRINT TYPE S TIMES 2
