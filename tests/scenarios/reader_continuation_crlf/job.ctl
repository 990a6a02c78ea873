* Continued lines, CR LF endings, several statements on a line.
READ in.txt \
   RECFM=U
IF POS 1 = 'A' ! THEN PRINT ! ELSE WRITE out.txt * a comment
./ PRINT TYPE M
WRITE a.txt !WRITE b.txt!    WRITE c.txt
SPACE 1 ! /*
PRINT TYPE Q   this line is after the end
