* Keyed reads (KGE) of text lines.
READ keys.txt
READ lines.txt KEYPOS=1 KEYLEN=7 KGE=POS 1,7
WRITE text.txt EOL=LF
