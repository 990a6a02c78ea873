* Keyed reads of V2 records of a file defined as INDEXED: an ordinary file here.
READ keys.txt
READ lines.v2 RECFM=V2 LRECL=100 INDEXED KEYPOS=1 KEYLEN=7 KEY=POS 1,7
WRITE v2.txt EOL=LF
