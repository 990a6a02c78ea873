OPTION HEAD 'Orders of the north region, copied for the monthly run' PD 10
READ in.txt
OPTION PW 66
WRITE a.txt
WRITE b.txt
WRITE c.txt
WRITE d.txt
WRITE e.txt
OPTION PW 132
WRITE f.txt
WRITE g.txt
WRITE h.txt
WRITE i.txt
WRITE j.txt
