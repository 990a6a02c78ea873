* Standard input to standard output, with a copy thrown away on DUMMY.
READ STDIN
WRITE STDOUT EOL=LF
WRITE DUMMY
