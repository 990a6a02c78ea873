* A reference inside quotes that is not replaced stays part of its literal.
EQU %2 AB
READ in.txt
IF POS 1 = 'Z%2'
THEN WRITE equ.txt
