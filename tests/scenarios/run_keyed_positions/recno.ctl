* Record 0 is not a record number: error 544.
READ one.txt
READ small.dat RECFM=F LRECL=20 REC=0
WRITE never.txt
