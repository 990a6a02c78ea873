* The first record is shorter than the key.
READ keys.txt
READ short.txt KEYPOS=1 KEYLEN=7 KEY=POS 1,7
WRITE short.out EOL=LF
