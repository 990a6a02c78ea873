* Copy every order to copy.txt, lines ended by LF.
READ orders.txt
WRITE copy.txt EOL=LF
