* The device is full: the records cannot be written out, the run ends
* abnormally and the other output keeps its records.
READ in.txt
WRITE /dev/full
WRITE good.txt
