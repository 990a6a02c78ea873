* Copy the orders of the north region to hits.txt and print the others.
READ orders.txt
IF POS 1 = 'NORTH'
THEN WRITE hits.txt
ELSE PRINT TYPE M
