READ in.txt
PRINT
/* the end of the statements
PRINT TYPE Q
