* Without the summary block an unread input gives no 4; the return code the
* program sets still gets its warning line.
READ in.txt STOPAFT 2 NOPTOT
RC = 2
WRITE two.txt
