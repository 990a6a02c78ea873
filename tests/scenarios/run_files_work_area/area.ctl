* With a work area: tabs expanded to stops of 4, a second input read INTO
* a field of the area, lines built from both; after the end of the inputs
* the area keeps what it holds and the record length is that of the last
* record read.
OPTION WORKLEN 40
READ tabs.txt TABS=4
READ keys.txt INTO POS 31,40
IF EOF
THEN PRINT POS 1,40 TYPE C
THEN PRINT UXLRECL TYPE H
ELSE WRITE out.txt EOL=LF FROM POS 1,40
