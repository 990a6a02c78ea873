* A WRITE without a file writes to the primary input; here there is none.
WRITE
