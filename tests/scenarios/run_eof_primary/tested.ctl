* With an end-of-file test the pass goes on once more, on an empty record
* of 80 blanks; the THEN actions of the test run once.
READ in.txt
IF EOF
THEN PRINT
THEN PRINT UXLRECL TYPE H
THEN PRINT UXINCNT TYPE H
ELSE WRITE tested.txt
PRINT TYPE S
