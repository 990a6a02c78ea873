* Updating the input in place stays allowed.
READ in.txt
MOVE 'Z' TO POS 1
UPDATE in.txt
