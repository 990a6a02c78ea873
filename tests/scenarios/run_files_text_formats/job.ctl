* One text input (CR LF and LF line ends, trailing blanks, an empty line)
* copied to every line end and to fixed records.
READ in.txt
WRITE lf.txt EOL=LF
WRITE crlf.txt EOL=CRLF
WRITE none.txt EOL=NO
WRITE notrunc.txt EOL=LF NOTRUNC
WRITE dots.txt EOL=LF FILL=.
WRITE fixed.dat RECFM=F LRECL=8
WRITE hashed.dat LRECL=8 FILL=#
