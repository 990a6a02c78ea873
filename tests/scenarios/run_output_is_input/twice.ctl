* Two names of one output would mix their records.
READ in.txt
WRITE out.txt
WRITE ./out.txt
