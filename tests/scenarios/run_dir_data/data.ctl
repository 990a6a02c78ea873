* The listing is sorted at the first READ: b.txt is gone when its turn comes.
READ m/ DIRDATA SUB SORT=N
SYSTEM 'rm m/b.txt' STOPAFT 1
IF DATA
THEN WRITE data.txt EOL=LF
