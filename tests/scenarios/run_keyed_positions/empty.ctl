* An empty keyed file: every key is not found.
READ one.txt
READ empty.dat RECFM=F LRECL=20 KEYPOS=1 KEYLEN=4 KEY='0010'
WRITE empty.txt EOL=LF
