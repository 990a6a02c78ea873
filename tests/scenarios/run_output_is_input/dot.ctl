* The output is the input under another name: refused before any output is opened.
READ in.txt
WRITE first.txt
WRITE ./in.txt
