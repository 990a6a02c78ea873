* A fixed layout (EBCDIC name, packed amount, binary count, EBCDIC code)
* turned into a text line in the work area and written from there. The
* third amount is not a packed number: its conversion fails (8) and its
* field stays blank.
OPTION WORKLEN 60
READ cust.dat RECFM=F LRECL=20
MOVE ' ' TO POS 21,52
TRAN POS 1,10 TO POS 21,30 ASCII
CVPC POS 11,15 TO POS 31 FMT '0,000,009.99-'
CVBC POS 16,19 TO POS 44 FMT '000009-'
TRAN POS 20,20 TO POS 52,52 ASCII
WRITE out.txt EOL=LF LRECL=80 FROM POS 21,52
PRINT POS 1,20 TYPE H
