* START forms position once, on their first execution; later executions read on.
READ three.txt
READ small.dat RECFM=F LRECL=20 KEYPOS=1 KEYLEN=4 STARTKEY='0025'
WRITE start.txt EOL=LF
READ other.dat RECFM=F LRECL=20 KEYPOS=1 KEYLEN=4 STARTKEQ='0020'
WRITE start.txt
READ third.dat RECFM=F LRECL=20 STARTREC=3
WRITE start.txt
READ fourth.dat RECFM=F LRECL=20 STARTRBA=20
WRITE start.txt
