* Two inputs read in turn. The end of the second retires its READ and
* presents 80 of its fill bytes once; later passes see the main record.
READ main.txt
WRITE mainout.txt
READ side.txt FILL=#
WRITE sideout.txt
PRINT TYPE S
