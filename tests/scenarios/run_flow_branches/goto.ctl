* GOTO jumps forward to a label, GG ends the pass, GOTO GET is GG; the
* summary shows each label before its statement, and a "*>" note after it.
READ goto.txt
IF POS 1 = 'A'
THEN GOTO ALPHA
IF POS 1 = 'B'
THEN GG
IF POS 1 = 'C'
THEN GOTO GET
WRITE never.txt
ALPHA
WRITE alpha.txt     *> the A records
GOTO LAST
WRITE never.txt
LAST
PRINT
