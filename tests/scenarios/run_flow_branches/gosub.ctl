* GOSUB with TIMES runs its routine three times in every pass; a routine
* may call another; GG ends the pass before the routines.
READ gosub.txt
GOSUB COUNT TIMES 3
WRITE out.txt
GG
COUNT
PERFORM MARK
PRINT
RETURN
MARK
MOVE '*' TO POS 3
RETURN
