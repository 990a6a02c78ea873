* Three records in each variable format.
READ in.txt
WRITE vb.dat RECFM=VB LRECL=40 BLKSIZE=100
WRITE v2.dat RECFM=V2 LRECL=40
WRITE mfv.dat RECFM=MFV LRECL=40 BLKSIZE=300
