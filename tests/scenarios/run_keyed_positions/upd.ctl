* UPD of a record read by key rewrites it in place. A changed key is sampled anew: key 0030,
* the middle sample before the change, is then not found.
READ one.txt
READ upd.dat RECFM=F LRECL=20 KEYPOS=1 KEYLEN=4 KEY='0030' UPD
MOVE '0035' TO POS 1
UPD upd.dat
READ upd.dat KEY='0040'
MOVE 'X' TO POS 13
UPD upd.dat
READ upd.dat KEY='0030'
WRITE upd.txt EOL=LF
READ upd.dat KEY='0035'
WRITE upd.txt
