* The records follow the statements in the control file, up to "/*".
READ CARD
WRITE cards.txt
PRINT TYPE S
END
card one
  card two with blanks
/*
not a record
