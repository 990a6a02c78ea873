* START waits for records, but there is no READ.
START
PRINT 'x'
