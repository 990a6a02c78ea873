* 8 is raised by statement 2, then 5 by statement 3, then 8 again by
* statement 4: the return code stays 8 with statement 2; statements 5 to 9
* share one summary line.
READ in.txt
MOVE 'X' TO POS 9
WRITE cut.txt RECFM=U LRECL=3
MOVE 'Y' TO POS 10
MOVE 'A' TO POS 1
MOVE 'B' TO POS 2
MOVE 'C' TO POS 3
MOVE 'D' TO POS 4
PRINT TYPE S
