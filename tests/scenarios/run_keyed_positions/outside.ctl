* A key operand outside the record: error 545, the run ends.
READ one.txt
READ small.dat RECFM=F LRECL=20 KEYPOS=1 KEYLEN=4 KEY=POS 5,8
WRITE never.txt
