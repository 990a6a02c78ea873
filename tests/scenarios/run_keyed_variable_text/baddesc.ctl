* The record of key 0010500 has a damaged descriptor: the search meets it.
READ keys.txt
READ bad.vb RECFM=VB LRECL=100 BLKSIZE=1000 KEYPOS=1 KEYLEN=7 KEY=POS 1,7
WRITE bad.txt EOL=LF
