* Keys out of order (the last line has the lowest key): the first sample finds it.
READ keys.txt
READ order.txt KEYPOS=1 KEYLEN=7 KEY=POS 1,7
WRITE order.out EOL=LF
