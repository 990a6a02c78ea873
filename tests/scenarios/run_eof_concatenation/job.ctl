* Three files read as one stream (the second is empty, the last has no final
* line end); the end-of-file test holds only after the last one.
READ part1.txt
CAT part2.txt
CAT part3.txt
IF EOF
THEN PRINT UXINCNT TYPE H
ELSE WRITE all.txt
PRINT
