READ in.txt
IF POS 1 = 'Z%RS_NOT_SET%'
THEN WRITE same.txt
