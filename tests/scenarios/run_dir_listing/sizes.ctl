* Largest first; equal sizes by their full names.
READ t/* DIR SORT=S
WRITE sizes.txt EOL=LF
