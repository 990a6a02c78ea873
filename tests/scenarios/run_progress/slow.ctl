READ three.txt
SLEEP 1 SEC
WRITE out.txt
