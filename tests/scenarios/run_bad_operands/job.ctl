* Operands beyond a short record: a data statement whose target lies wholly
* or partly beyond it fails (counted, return code 8) and does what fits; a
* test beyond it is false; a PRINT field is cut silently.
READ in.txt
MOVE 'beyond' TO POS 12
MOVE 'XYZ' TO POS 5
PRINT POS 4,20
IF POS 32 = 'f'
THEN WRITE far.txt
WRITE out.txt
