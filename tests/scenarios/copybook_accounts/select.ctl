* Accounts opened in 2014, selected by the fields of the copybook; the first 48 bytes of each
* (id, status and the three zoned amounts) are written as text.
INCLUDE acct.equ
READ %1 RECFM=F LRECL=300
TRAN POS 1,300 ASCII
IF %ACCT_OPEN_DATE% GE '2014-01-01'
AND %ACCT_OPEN_DATE% LT '2015-01-01'
AND %ACCT_ACTIVE_STATUS% = 'Y'
THEN WRITE %2 FROM POS 1,48 EOL=LF
