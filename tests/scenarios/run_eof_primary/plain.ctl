* Without an end-of-file test the end of the input ends the run at once:
* the statements after the READ do not run again.
READ in.txt
WRITE copy.txt
PRINT
