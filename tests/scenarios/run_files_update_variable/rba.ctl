* Reads at byte addresses inside records: each finds the next record start.
READ in.txt
READ v2.dat RECFM=V2 LRECL=40 RBA=8
WRITE rba.txt EOL=LF
READ mfv.dat RECFM=MFV LRECL=40 BLKSIZE=300 RBA=3
WRITE rba.txt EOL=LF
READ mfv.dat RECFM=MFV LRECL=40 BLKSIZE=300 RBA=140
WRITE rba.txt EOL=LF
