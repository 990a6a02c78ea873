* Many short records to a block: the search for a record start meets block descriptors at the
* end of what a positioned read brought.
READ keys8.txt
READ short.vb RECFM=VB LRECL=100 BLKSIZE=1000 KEYPOS=1 KEYLEN=8 KEY=POS 1,8
WRITE blocks.txt EOL=LF
