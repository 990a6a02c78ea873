* A VB file of the same lines, made by recsift itself.
READ lines.txt
WRITE lines.vb RECFM=VB LRECL=100 BLKSIZE=1000
WRITE lines.v2 RECFM=V2 LRECL=100
