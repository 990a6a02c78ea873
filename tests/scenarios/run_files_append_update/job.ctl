* APPEND keeps what the file holds, RESET replaces it; UPDATE rewrites
* records of the input in place (the last one has no line end).
READ upd.txt
WRITE app.txt APPEND
WRITE rst.txt RESET
IF POS 1 = 'X'
THEN MOVE 'Y' TO POS 1
THEN UPDATE upd.txt
