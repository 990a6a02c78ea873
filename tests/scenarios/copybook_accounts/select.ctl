* Accounts selected by the fields of the copybook: those opened in 2014 (their first 48 bytes:
* id, status and the three zoned amounts), and those whose balance is above 300.00 (their ids).
INCLUDE acct.equ
READ %1 RECFM=F LRECL=300
TRAN POS 1,300 ASCII
IF %ACCT_OPEN_DATE% GE '2014-01-01'
AND %ACCT_OPEN_DATE% LT '2015-01-01'
AND %ACCT_ACTIVE_STATUS% = 'Y'
THEN WRITE %2 FROM POS 1,48 EOL=LF
IF %ACCT_CURR_BAL% GT 30000
THEN WRITE over300.txt FROM POS 1,11 EOL=LF
