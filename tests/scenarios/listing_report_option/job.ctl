REPORT PW 100
READ in.txt
PRINT TYPE C
LOG 'a line for the log'
