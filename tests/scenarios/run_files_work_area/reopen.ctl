* OPEN starts a file again: every pass reads the first record of side.txt.
* CLOSE presents an empty record of 80 blanks.
READ main.txt
OPEN side.txt
READ side.txt
PRINT TYPE S
IF POS 1 = 'S'
THEN CLOSE side.txt
THEN PRINT TYPE H
