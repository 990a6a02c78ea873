* A line of 1 MB is delivered in pieces of the LRECL (2046 bytes).
READ big.txt
WRITE big.out EOL=LF
