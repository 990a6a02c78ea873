* A 130-byte record at a data width of 50 without the length column:
* continuation lines in the character types, five dump lines.
OPTION DW 50 PRRECLEN NO
READ long.txt
PRINT
PRINT TYPE H
PRINT TYPE M
PRINT TYPE D
