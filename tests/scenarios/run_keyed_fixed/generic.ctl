* Keys shorter than KEYLEN compare as a prefix: the first record that starts with them.
READ keys.txt
READ big.dat RECFM=F LRECL=80 KEYPOS=1 KEYLEN=8 KEY=POS 1,5
WRITE generic.txt EOL=LF
