* Depth 1: sub is listed, sub/deep is not. Hidden files never are.
READ t/ DIR SUB=1 SORT=N
WRITE names.txt EOL=LF
