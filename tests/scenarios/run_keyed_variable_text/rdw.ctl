* Under RDW the records keep their descriptor and the key position moves on by its 4 bytes.
OPTION RDW
READ keys.txt
READ lines.vb RECFM=VB LRECL=100 BLKSIZE=1000 KEYPOS=1 KEYLEN=7 KEY=POS 1,7
WRITE rdw.txt EOL=LF
