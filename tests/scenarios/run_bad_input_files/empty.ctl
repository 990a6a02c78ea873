* The input is empty: its end-of-file actions still run once.
READ empty.txt
IF EOF
THEN LOG 'empty input'
ELSE WRITE out2.txt
