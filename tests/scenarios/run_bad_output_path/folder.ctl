* The output names a folder.
READ in.txt
WRITE good.txt
WRITE ./sub
