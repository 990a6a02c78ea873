* Look up the price of each order's item in prices.txt, a file in order of its 4-digit key.
READ orders.txt
READ prices.txt KEYPOS=1 KEYLEN=4 KEY=POS 7,10
WRITE priced.txt EOL=LF
