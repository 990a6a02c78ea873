* The only output stops after 5: the run ends with the pass of the fifth
* record, whose later statements still run; the input is not read to its end.
READ eight.txt
PRINT STOPAFT 5
MOVE 'R' TO POS 1
