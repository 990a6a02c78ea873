* WRITE FROM a field, a literal, a field partly and wholly beyond the
* record; a text file whose LRECL is shorter than the records.
READ in.txt
WRITE key.txt FROM POS 1,4
WRITE lit.txt FROM 'literal'
WRITE part.txt FROM POS 6,30
WRITE beyond.txt FROM POS 20,30
WRITE short.txt RECFM=U LRECL=8
