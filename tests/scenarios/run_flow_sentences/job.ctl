* IF a THEN x ELSE y, then z; OR; AND with ELSE. A test of a byte beyond
* the record fails and counts: it shows which tests were evaluated.
READ in.txt
IF POS 1 = 'A'
THEN WRITE then.txt
ELSE WRITE else.txt
WRITE all.txt
IF POS 1 = 'B'
OR POS 2 = 'B'
OR POS 300 = 'Q'
THEN WRITE either.txt
IF POS 3 = 'C'
AND POS 4 = 'D'
AND POS 400 = 'Q'
THEN WRITE both.txt
ELSE WRITE notboth.txt
