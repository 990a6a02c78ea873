READ in.txt
PRINT
