READ in.txt
INCLUDE n01.ctl ! WRITE out.txt
