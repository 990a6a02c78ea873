* OPEN starts the input again; the record it held is gone.
READ abz.txt
IF RC = 0
THEN OPEN
THEN RC = 2
WRITE reopen.txt
