/* The keyed-read benchmark's peer: looks up each key of KEYS (8-digit lines) in RECORDS (80-byte
 * records sorted by an 8-digit key at offset 0) by binary search with pread, and writes the
 * record found, or "--- KEY/REC NOT FOUND ---", as a line of OUT. */
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  int fd = open(argv[1], O_RDONLY);
  FILE* keys = fopen(argv[2], "r");
  FILE* out = fopen(argv[3], "w");
  struct stat st;
  if (fd < 0 || keys == NULL || out == NULL || fstat(fd, &st) != 0) return 1;
  char line[64], rec[80];
  while (fgets(line, sizeof line, keys) != NULL) {
    long lo = 0, hi = st.st_size / 80 - 1;
    int found = 0;
    while (lo <= hi && !found) {
      long mid = lo + (hi - lo) / 2;
      if (pread(fd, rec, 80, mid * 80) != 80) return 1;
      int c = memcmp(line, rec, 8);
      if (c == 0)
        found = 1;
      else if (c < 0)
        hi = mid - 1;
      else
        lo = mid + 1;
    }
    if (found)
      fprintf(out, "%.80s\n", rec);
    else
      fputs("--- KEY/REC NOT FOUND ---\n", out);
  }
  return fclose(out) != 0;
}
