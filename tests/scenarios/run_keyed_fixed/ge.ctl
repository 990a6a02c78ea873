* The same keys by KGE: the first record whose key is not lower.
READ keys.txt
READ big.dat RECFM=F LRECL=80 KEYPOS=1 KEYLEN=8 KGE=POS 1,8
WRITE ge.txt EOL=LF
