* A DUMMY input ends at once: the end-of-file actions run on the empty record.
READ DUMMY
IF EOF
THEN LOG 'DUMMY input ended'
ELSE PRINT
