* The third pass sends the run SIGTERM: it ends after that pass, with three whole records written.
READ in.txt
IF POS 1 = '3'
THEN SYSTEM 'kill -TERM $PPID'
WRITE out.txt EOL=LF
