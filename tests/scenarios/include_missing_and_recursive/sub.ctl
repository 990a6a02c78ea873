INCLUDE job.ctl
INCLUDE sub.ctl
INCLUDE missing.ctl
INCLUDE
PRINT
