* sub.ctl
IF POS 1 = 'X'
THEN PRINT
INCLUDE inner.ctl ! PRINT TYPE C
