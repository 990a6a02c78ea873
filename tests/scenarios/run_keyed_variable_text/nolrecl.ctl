* A keyed V file needs its LRECL.
READ keys.txt
READ lines.vb RECFM=VB KEYPOS=1 KEYLEN=7 KEY=POS 1,7
WRITE never.txt
