READ in.txt ! INCLUDE sub.ctl ! PRINT * after the included file
WRITE out.txt
