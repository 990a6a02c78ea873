* The input does not exist: it reads as empty, nothing is written (16).
READ nosuch.txt
WRITE out1.txt
