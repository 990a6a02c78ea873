* SPACE and LINE on a 20-line page; a SPACE beyond the page starts a new
* one. LOG copies to the log stream, PLOG to both.
OPTION PD 20
READ in.txt
PRINT TYPE S
IF POS 1 = 'S'
THEN SPACE 2
IF POS 1 = 'L'
THEN LINE 15
IF POS 1 = 'P'
THEN SPACE 30
IF POS 1 = 'f'
THEN LOG
THEN PLOG 'to both'
