* Print the first two orders in hexadecimal, then stop.
READ orders.txt
PRINT TYPE H STOPAFT 2
