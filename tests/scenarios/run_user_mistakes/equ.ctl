* A name with a sign in it cannot be defined.
EQU A+B %1
READ abz.txt
WRITE equ.txt
