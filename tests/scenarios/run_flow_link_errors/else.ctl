* A second ELSE has no THEN of its own: linking stops, nothing runs.
READ in.txt
IF POS 1 = 'A'
THEN WRITE a.txt
ELSE WRITE b.txt
ELSE WRITE c.txt
