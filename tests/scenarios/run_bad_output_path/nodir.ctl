* The output's folder does not exist: the open fails before any record is
* read, and the run is not made.
READ in.txt
WRITE good.txt
WRITE nosuch/out.txt
