* A folder named as an input is there but is no file: the READ fails.
READ folder.in
WRITE folder.out
