* The same file read without line ends in pieces of 50 bytes.
READ fixed.dat EOL=NO LRECL=50
WRITE pieces.txt EOL=LF NOTRUNC
