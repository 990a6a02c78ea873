* The READ stops after 2 records: the input is not read to its end (4).
READ in.txt STOPAFT 2
WRITE two.txt
