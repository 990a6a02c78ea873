* The label ends the program: the GOTO has nowhere to go.
READ in.txt
IF POS 1 = 'A'
THEN GOTO NOWHERE
PRINT
NOWHERE
