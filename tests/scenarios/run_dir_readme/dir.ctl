READ logs/*.txt DIR SUB SORT=S
WRITE list.txt EOL=LF
