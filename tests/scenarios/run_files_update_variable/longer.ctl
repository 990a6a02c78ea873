* A shorter record would leave bytes of the old one behind: refused, nothing written.
READ vb.dat RECFM=VB LRECL=40 BLKSIZE=100
IF POS 1 = 'alpha'
THEN LRECL = 4
THEN UPDATE vb.dat
