* Keyed reads of VB records (blocks of 1000 bytes).
READ keys.txt
READ lines.vb RECFM=VB LRECL=100 BLKSIZE=1000 KEYPOS=1 KEYLEN=7 KEY=POS 1,7
WRITE vb.txt EOL=LF
