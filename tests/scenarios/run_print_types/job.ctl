* Two 16-byte records in each print type, and a field of the record.
READ in.dat RECFM=F LRECL=16
PRINT TYPE C
PRINT TYPE H
PRINT TYPE B
PRINT TYPE M
PRINT TYPE D
PRINT TYPE DX
PRINT POS 3,6 TYPE C
