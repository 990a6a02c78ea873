READ in.txt
INCLUDE sub.ctl
WRITE out.txt
