* Records read with their descriptor: the written field ends with the work area.
OPTION W=40
READ v2.dat RECFM=V RDW
WRITE rdw.dat FROM POS 1,10 RECFM=F LRECL=50
