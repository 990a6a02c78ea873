* The record goes to position 11 of the work area; without a length INTO reaches its end.
OPTION W=40
READ in.txt INTO POS 11
WRITE into.txt FROM POS 1,30
