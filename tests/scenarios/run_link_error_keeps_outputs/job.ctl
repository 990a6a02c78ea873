* The label has nothing after it: the run does not start, and out.txt keeps what it held.
READ in.txt
WRITE out.txt
GOTO NOWHERE
NOWHERE
