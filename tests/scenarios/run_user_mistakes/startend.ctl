* The last READ retires after one record; a START in that pass does not start the run again.
READ abz.txt STOPAFT 1
START
PRINT
