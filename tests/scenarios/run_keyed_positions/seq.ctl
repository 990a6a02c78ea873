* One pass over a file of 5 fixed records (keys 0010 to 0050, smaller than two buffers): where
* each keyed or positioned read leaves the file, shown by a plain READ after it.
OPTION RC_KEYNF=4
READ one.txt
READ small.dat RECFM=F LRECL=20 KEYPOS=1 KEYLEN=4 KEY='0001'
WRITE out.txt EOL=LF
READ small.dat
WRITE out.txt
* Between two keys: not found, and the next READ has the greater key.
READ small.dat KEY='0035'
WRITE out.txt
READ small.dat
WRITE out.txt
READ small.dat KGE='0001'
WRITE out.txt
* A generic key, the last record's full key, a byte address inside record 3, record 2.
READ small.dat KEY='004'
WRITE out.txt
READ small.dat KEY='0050'
WRITE out.txt
READ small.dat RBA=45
WRITE out.txt
READ small.dat REC=2
WRITE out.txt
* The byte address in a field: "0020", the key of the record just read, is record 2.
READ small.dat RBA=POS 1 LEN 4
WRITE out.txt
READ small.dat RBA=100
WRITE out.txt
READ small.dat RBA=-1
WRITE out.txt
READ small.dat
WRITE out.txt
* Above the last key: not found at the end, so the next READ meets the end of the file.
READ small.dat KEY='9999'
WRITE out.txt
READ small.dat
IF EOF FILE=small.dat
THEN LOG 'small.dat ended'
