READ in.txt
WRITE alias.txt
