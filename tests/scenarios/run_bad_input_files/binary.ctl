* Binary bytes in a text file: a lone CR ends a line, other bytes are
* data; a control-Z after the last line end is dropped.
READ binary.txt
WRITE out3.txt EOL=LF
PRINT TYPE M
