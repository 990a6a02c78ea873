* Convert each order to a 10-byte fixed record: the region in EBCDIC, the order number packed,
* the quantity as a 2-byte binary number. The record is built in the work area.
OPTION WORKLEN 80
READ orders.txt
MOVE POS 1,5 TO POS 41,45
TRAN POS 41,45 EBCDIC
PACK POS 7,10 TO POS 46,48
CVCB POS 28,30 TO POS 49,50
WRITE orders.dat RECFM=F LRECL=10 FROM POS 41,50
