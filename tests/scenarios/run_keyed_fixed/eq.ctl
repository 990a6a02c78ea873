* Reads by key (KEY, equal) in 20000 fixed records whose keys are 3, 6, 9 ... 60000:
* far too many for one search, so the sample tree grows several levels deep.
READ keys.txt
READ big.dat RECFM=F LRECL=80 KEYPOS=1 KEYLEN=8 KEY=POS 1,8
WRITE eq.txt EOL=LF
